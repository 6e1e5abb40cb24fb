// Fuzzes a payload entry through what the program does with one: the size
// checks of openEntry, the checksum and the catalogue sums of verifyPayload,
// and extractEntry in both of its forms: into memory (the licence text, the
// MemorySink) and into the target folder on the simulated drive (every
// other entry, the FileSink), followed by the installation's roll-back.
//
// The harness writes each input's own size and checksum into its header, so
// that every mutation reaches the catalogue and the stream instead of being
// turned away by the checksum; inputs shorter than the header are installed
// as they are. What the input held in those eight bytes sets up the machine
// instead (0, as in small entries, leaving it as it is):
//   byte 2  the free space of drive C:, in steps of 256 bytes;
//   byte 3  the largest block the heap supplies, in steps of 256 bytes;
//   byte 4  bit 0 set: files go unrecorded, as for the uninstaller's entry;
//   byte 5  the progress call that asks the decoders below to stop (0: none).
// A damaged entry must end in one of extractEntry's results or in the
// internal-error path, which the fuzz build turns back into the next input.
// Beyond not crashing:
//   - the stream after the catalogue decodes in the program's table-driven
//     decoder exactly as in the tree-walking reference: the same bytes,
//     progress calls, result and bits read, or the internal error in both
//     after the same progress calls;
// and after an extraction that returned:
//   - the result is one of the four extractEntry documents;
//   - in memory, a result of 0 comes with a block for an entry with files;
//   - nothing was made outside the target folder, and unless the heap ran
//     short (a record that cannot be allocated leaves its file or folder
//     unrecorded), the roll-back leaves the target folder empty: whatever
//     the extraction made, it recorded.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_guard.h"
#include "fuzz_machine.h"
#include "extract/kept_files.h"
#include "base/paths.h"
#include "extract/uninstall_list.h"
#include "payload/catalogue.h"
#include "payload/checksum.h"
#include "payload/decompressor.h"
#include "extract/extraction.h"
#include "payload/file_records.h"
#include "payload/payload_entry.h"
#include "extract/progress.h"
#include "base/context.h"
#include "reference_decompressor.h"
#include "sim/sim.h"
#include "vmpack/byte_sink.h"

namespace {

constexpr int32_t kFuzzedEntryId = 100;
// verifyPayload sums the catalogue in clusters of this size.
constexpr int32_t kClusterSize = 32768;
constexpr char kTargetFolder[] = "C:\\Program Files\\Velk Modular";
// Everything the simulated drive holds outside the target folder, which an
// extraction must leave alone: its parent and a neighbour whose name begins
// like the target folder's.
constexpr char kParentFolder[] = "C:\\Program Files";
constexpr char kNeighbourFile[] = "C:\\Program Files\\Velk Modular2\\kept.txt";

void require(bool condition, const char* what) {
  if (condition) return;
  printf("fuzz: %s\n", what);
  fflush(stdout);
  __builtin_trap();
}

// The names of a host folder's entries, or none when it does not exist.
std::vector<std::string> folderEntries(const std::string& windowsPath) {
  std::vector<std::string> names;
  std::error_code failure;
  for (const auto& entry : std::filesystem::directory_iterator(sim::hostPath(windowsPath), failure)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void checkEntry(void*) {
  PayloadEntry entry = openEntry(kFuzzedEntryId);
  if (!entry.present()) return;
  // The harness gave the entry its checksum; a failure is the checksum's.
  require(entry.verifyChecksum(), "an entry fails the checksum it was given");
  entry.sumCatalogue(kClusterSize);
  entry.releaseEntry();
}

// One decoder's run over the stream, kept outside the guarded run so that a
// failed check loses none of it.
struct DecoderRun {
  bool returned = false;
  int32_t result = -1;
  int32_t bitsWritten = 0;
  int32_t bitsRead = 0;
  std::vector<uint8_t> bytes;
  std::vector<double> calls;
};

// A damaged count may announce far more output than the stream can carry
// sensibly; what lies beyond this is counted, not kept.
constexpr size_t kKeptOutput = 1 << 22;

struct DecoderRace {
  const uint8_t* start = nullptr;
  const uint8_t* end = nullptr;
  int32_t stopAtCall = 0;
  bool reference = false;
  DecoderRun runs[2];
};
DecoderRace race;

int recordCall(double fraction) {
  DecoderRun& run = race.runs[race.reference ? 1 : 0];
  run.calls.push_back(fraction);
  return static_cast<int32_t>(run.calls.size()) == race.stopAtCall ? 0 : 1;
}

void decodeStreamOnce(void*) {
  DecoderRun& run = race.runs[race.reference ? 1 : 0];
  MemoryBitSource source(race.start, race.end);
  ByteSink sink(&run.bytes, kKeptOutput);
  if (race.reference) {
    TreeWalkingDecompressor walker(kEntrySymbolBits, kEntryWindowBits);
    run.result = walker.decodeStream(source, sink, recordCall);
  } else {
    Decompressor decompressor;
    run.result = decompressor.decodeStream(source, sink, recordCall);
  }
  run.bitsWritten = sink.bitsWritten;
  run.bitsRead = source.bitsRead;
  sink.flushByte();
  run.returned = true;
}

// The stream of the entry's files: what follows a catalogue that reads.
bool findStream(const PayloadEntry& entry) {
  ByteCursor cursor(entry.body(), entry.bodySize());
  int32_t folderCount = 0;
  int32_t fileCount = 0;
  if (!readCatalogueCounts(cursor, &folderCount, &fileCount)) return false;
  char name[kNameLengthLimit];
  int32_t nameLength = 0;
  for (int32_t i = 0; i < folderCount; ++i)
    if (!readFolderRecord(cursor, name, &nameLength)) return false;
  CatalogueFile file;
  for (int32_t i = 0; i < fileCount; ++i)
    if (!readFileRecord(cursor, &file)) return false;
  race.start = cursor.position();
  race.end = cursor.end();
  return fileCount > 0;
}

void raceDecoders(int32_t stopAtCall) {
  PayloadEntry entry = openEntry(kFuzzedEntryId);
  if (!entry.present()) return;
  if (findStream(entry)) {
    race.stopAtCall = stopAtCall;
    for (int which = 0; which < 2; ++which) {
      race.reference = which == 1;
      race.runs[which] = DecoderRun();
      runGuarded(decodeStreamOnce, nullptr);
    }
    const DecoderRun& program = race.runs[0];
    const DecoderRun& reference = race.runs[1];
    require(program.returned == reference.returned, "one decoder failed where the other returned");
    require(program.calls == reference.calls, "the decoders made different progress calls");
    if (program.returned) {
      require(program.result == reference.result && program.bitsWritten == reference.bitsWritten &&
                  program.bitsRead == reference.bitsRead && program.bytes == reference.bytes,
              "the decoders decoded the stream differently");
    }
  }
  entry.releaseEntry();
}

bool isExtractResult(int32_t result) { return result >= kExtractDone && result <= kExtractPathTooLong; }

void extractIntoMemory(void*) {
  uint8_t* block = nullptr;
  int32_t result = extractEntry(kFuzzedEntryId, &block);
  require(isExtractResult(result), "extractEntry returned no result it documents");
  require(result == kExtractDone || block == nullptr, "a failed extraction handed out a block");
  require(result != kExtractDone || block != nullptr || fileRecords.count() == 0,
          "an extraction into memory returned no block for an entry with files");
  freeBlock(block);
}

void extractIntoFolder(void*) {
  int64_t refusedBefore = refusedBlocks();
  int32_t result = extractEntry(kFuzzedEntryId, nullptr);
  require(isExtractResult(result), "extractEntry returned no result it documents");
  // As the installation does after any entry that failed, and here after
  // every entry, so that the next input finds the folder empty.
  unrecordedFiles.rollBack(installOptions.targetFolder);
  uninstallList.rollBack(installOptions.targetFolder);
  restoreKeptFiles(installOptions.targetFolder);
  require(refusedBlocks() != refusedBefore || folderEntries(kTargetFolder).empty(),
          "the roll-back left something the extraction made");
}

// After a failed check, the program's process-wide objects go back to
// empty through their own operations before the run's blocks are freed.
void abandonExtraction() {
  sim::closeProgramStreams();
  fileRecords.resize(0);
  uninstallList.clear();
  unrecordedFiles.clear();
}

void storeUint32(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<std::string> parentEntries;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  startFuzzMachine();
  setupContext.instance = sim::programModule();
  // Built outside any guarded run: the table lives for the whole process.
  buildCrcTable();
  require(createDirectoryPath(kTargetFolder) && createDirectoryPath("C:\\Program Files\\Velk Modular2") &&
              sim::writeFile(kNeighbourFile, "kept"),
          "the simulated drive cannot be prepared");
  parentEntries = folderEntries(kParentFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > static_cast<size_t>(INT32_MAX)) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  if (size >= static_cast<size_t>(kEntryHeaderBytes)) {
    storeUint32(bytes.data() + kTotalSizeOffset, static_cast<uint32_t>(size));
    storeUint32(bytes.data() + kChecksumOffset,
                payloadChecksum(bytes.data() + kBodyOffset, static_cast<int32_t>(size) - kBodyOffset));
  }
  resetFuzzMachine();
  sim::addResource(kPayloadResourceType, kFuzzedEntryId, bytes);
  bytesWritten = 0;
  recordWrittenFiles = 1;
  // Before the heap is limited: the two decoders ask it for different blocks.
  raceDecoders(size >= static_cast<size_t>(kEntryHeaderBytes) ? data[5] : 0);
  if (size >= static_cast<size_t>(kEntryHeaderBytes)) {
    if (data[2] != 0) sim::setFreeBytes('C', data[2] * uint64_t{256});
    if (data[3] != 0) limitHeap(data[3] * 256);
    if ((data[4] & 1) != 0) recordWrittenFiles = 0;
  }
  runGuarded(checkEntry, nullptr);
  runGuarded(extractIntoMemory, nullptr, abandonExtraction);
  runGuarded(extractIntoFolder, nullptr, abandonExtraction);
  limitHeap(kFuzzHeapLimit);
  // A failed check ends the program without a roll-back, and a roll-back
  // short of memory leaves things: the harness clears the folder for the
  // next input.
  std::error_code ignored;
  for (const std::string& name : folderEntries(kTargetFolder)) {
    std::filesystem::remove_all(std::filesystem::path(sim::hostPath(kTargetFolder)) / name, ignored);
  }
  require(folderEntries(kParentFolder) == parentEntries && sim::fileExists(kNeighbourFile),
          "an extraction reached outside the target folder");
  return 0;
}

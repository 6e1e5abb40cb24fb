// Fuzzes a payload entry through what the program does with one: the size
// checks of openEntry, the checksum and the catalogue sums of verifyPayload,
// the extraction's walk over the catalogue with its path joins, and the
// decoder into two sinks: one that only counts the bytes that arrive, and one
// that fills a block of the catalogued content size and checks each file's
// CRC, as the extraction's in-memory case does.
//
// The harness writes each input's own size and checksum into its header, so
// that every mutation reaches the catalogue and the stream instead of being
// turned away by the checksum; inputs shorter than the header are installed
// as they are. A damaged entry must end in a result or in the internal-error
// path, which the fuzz build turns back into the next input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_guard.h"
#include "fuzz_machine.h"
#include "install/paths.h"
#include "payload/bit_stream.h"
#include "payload/catalogue.h"
#include "payload/checksum.h"
#include "payload/decompressor.h"
#include "payload/payload_entry.h"
#include "setup/context.h"
#include "sim/sim.h"

namespace {

constexpr int32_t kFuzzedEntryId = 100;
// verifyPayload sums the catalogue in clusters of this size.
constexpr int32_t kClusterSize = 32768;

// Hands on nothing; counts the bytes.
class CountingSink final : public BitSink {
 public:
  void putBit(int32_t bit) override { shiftBitIn(accumulator_, bitCount_, bit); }
  void flushByte() override {
    if (bitCount_ == 0) return;
    ++bytes;
    accumulator_ = 0;
    bitCount_ = 0;
  }

  int64_t bytes = 0;

 private:
  int32_t accumulator_ = 0;
  int32_t bitCount_ = 0;
};

// Fills a block of the catalogued content size; bytes beyond it are dropped
// and make the content incomplete, as in the extraction's memory sink.
class BlockSink final : public BitSink {
 public:
  BlockSink(uint8_t* start, int32_t size) : current_(start), end_(start + size) {}

  void putBit(int32_t bit) override { shiftBitIn(accumulator_, bitCount_, bit); }
  void flushByte() override {
    if (bitCount_ == 0) return;
    if (current_ < end_) {
      *current_++ = static_cast<uint8_t>(accumulator_);
    } else {
      overflowed_ = true;
    }
    accumulator_ = 0;
    bitCount_ = 0;
  }

  bool filled() const { return current_ == end_ && !overflowed_; }

 private:
  uint8_t* current_;
  uint8_t* end_;
  int32_t accumulator_ = 0;
  int32_t bitCount_ = 0;
  bool overflowed_ = false;
};

int keepDecoding(double) { return 1; }

// What outlives a failed check: the entry is given back after the run
// whichever way it ended.
struct EntryRun {
  PayloadEntry entry;
  int32_t filesMatchingCrc = 0;
};

// The extraction's walk: counts, folder records and file records, each name
// joined to the target folder. False when the catalogue is corrupt or a
// path too long; then nothing is decoded.
bool walkCatalogue(ByteCursor& cursor, int32_t* fileCount) {
  int32_t folderCount = 0;
  if (!readCatalogueCounts(cursor, &folderCount, fileCount)) return false;
  char path[kPathBufferSize];
  for (int32_t i = 0; i < folderCount; ++i) {
    char name[kNameLengthLimit];
    int32_t nameLength = 0;
    if (!readFolderRecord(cursor, name, &nameLength)) return false;
    strcpy(path, installOptions.targetFolder);
    if (!joinPath(path, name)) return false;
  }
  for (int32_t i = 0; i < *fileCount; ++i) {
    CatalogueFile file;
    if (!readFileRecord(cursor, &file)) return false;
    strcpy(path, installOptions.targetFolder);
    if (!joinPath(path, file.name)) return false;
  }
  return true;
}

// Each catalogued file's CRC over its part of the block.
int32_t countFilesMatchingCrc(const PayloadEntry& entry, const uint8_t* content) {
  ByteCursor cursor(entry.body(), entry.bodySize());
  int32_t folderCount = 0;
  int32_t fileCount = 0;
  readCatalogueCounts(cursor, &folderCount, &fileCount);
  char name[kNameLengthLimit];
  int32_t nameLength = 0;
  for (int32_t i = 0; i < folderCount; ++i) readFolderRecord(cursor, name, &nameLength);
  int32_t matching = 0;
  for (int32_t i = 0; i < fileCount; ++i) {
    CatalogueFile file;
    readFileRecord(cursor, &file);
    if (payloadChecksum(content, file.size) == file.contentCrc) ++matching;
    content += file.size;
  }
  return matching;
}

void decodeIntoSinks(EntryRun& run, const uint8_t* streamStart, const uint8_t* streamEnd, int32_t rawBytes) {
  {
    MemoryBitSource source(streamStart, streamEnd);
    CountingSink sink;
    Decompressor decompressor(kEntrySymbolBits, kEntryWindowBits);
    decompressor.decodeStream(source, sink, keepDecoding);
    sink.flushByte();
  }
  // Without usable sums there is no size for the block, as in the extraction.
  if (rawBytes < 0) return;
  uint8_t* block = static_cast<uint8_t*>(allocateBlock(rawBytes + 1));
  if (block == nullptr) return;
  {
    MemoryBitSource source(streamStart, streamEnd);
    BlockSink sink(block, rawBytes);
    Decompressor decompressor(kEntrySymbolBits, kEntryWindowBits);
    decompressor.decodeStream(source, sink, keepDecoding);
    sink.flushByte();
    if (sink.filled()) run.filesMatchingCrc = countFilesMatchingCrc(run.entry, block);
  }
  freeBlock(block);
}

void runEntry(void* context) {
  EntryRun& run = *static_cast<EntryRun*>(context);
  run.entry = openEntry(kFuzzedEntryId);
  if (!run.entry.present()) return;
  // The harness gave the entry its checksum; a failure is the checksum's.
  if (!run.entry.verifyChecksum()) __builtin_trap();
  CatalogueSums sums = run.entry.sumCatalogue(kClusterSize);
  ByteCursor cursor(run.entry.body(), run.entry.bodySize());
  int32_t fileCount = 0;
  if (!walkCatalogue(cursor, &fileCount) || fileCount == 0) return;
  decodeIntoSinks(run, cursor.position(), cursor.end(), sums.failed ? -1 : sums.rawBytes);
}

void storeUint32(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  startFuzzMachine();
  setupContext.instance = sim::programModule();
  // Built outside any guarded run: the table lives for the whole process.
  buildCrcTable();
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
  sim::addResource(kPayloadResourceType, kFuzzedEntryId, bytes);
  EntryRun run;
  runGuarded(runEntry, &run);
  run.entry.releaseEntry();
  return 0;
}

// Fuzzes the packer's reader: what `vmpack list` and `vmpack verify` do with
// an entry file, and the name checks `vmpack extract` makes before it writes
// anything. A damaged entry must be reported as corrupt (a result, or the
// decoder's internal-error path, which the packer reports as a corrupt
// entry), never crash the packer.
//
// Each input is read twice: as it is, which exercises the size and checksum
// checks, and with its own size and checksum written into its header, so that
// the catalogue and the stream see every mutation.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_guard.h"
#include "platform/host_processor.h"
#include "payload/catalogue.h"
#include "payload/checksum.h"
#include "vmpack/codepage.h"
#include "vmpack/entry_builder.h"
#include "vmpack/entry_reader.h"

// The packer's reader links only the format code, whose checksums ask the
// platform this; vmpack answers it in tool_fatal.cpp.
bool processorHasCarrylessMultiply(void) { return hostHasCarrylessMultiply(); }

namespace {

// Owned outside the guarded run, so that a failed check in the decoder loses
// none of it.
struct ReaderRun {
  std::vector<uint8_t> entry;
  EntryCatalogue catalogue;
  std::vector<uint8_t> content;
  std::string problem;
  size_t listedBytes = 0;
};

// list: the catalogue and every name as the host shows it.
bool listEntry(ReaderRun& run) {
  if (!readEntryCatalogue(run.entry, &run.catalogue, &run.problem)) return false;
  for (const std::string& name : run.catalogue.folders) run.listedBytes += windows1252ToUtf8(name).size();
  for (const CatalogueFile& file : run.catalogue.files) run.listedBytes += windows1252ToUtf8(file.name).size();
  return true;
}

void listAndVerify(void* context) {
  ReaderRun& run = *static_cast<ReaderRun*>(context);
  if (!listEntry(run)) return;
  if (!decodeEntryContents(run.entry, run.catalogue, &run.content, &run.problem)) return;
  // extract refuses names that could leave its folder before writing.
  for (const std::string& name : run.catalogue.folders) run.listedBytes += nameProblem(name).size();
  for (const CatalogueFile& file : run.catalogue.files) run.listedBytes += nameProblem(file.name).size();
}

void storeUint32(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

void readOnce(const std::vector<uint8_t>& entry) {
  ReaderRun run;
  run.entry = entry;
  runGuarded(listAndVerify, &run);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Built outside any guarded run: the table lives for the whole process.
  buildCrcTable();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > static_cast<size_t>(INT32_MAX)) return 0;
  std::vector<uint8_t> entry(data, data + size);
  readOnce(entry);
  if (size < static_cast<size_t>(kEntryHeaderBytes)) return 0;
  storeUint32(entry.data() + kTotalSizeOffset, static_cast<uint32_t>(size));
  storeUint32(entry.data() + kChecksumOffset,
              payloadChecksum(entry.data() + kBodyOffset, static_cast<int32_t>(size) - kBodyOffset));
  readOnce(entry);
  return 0;
}

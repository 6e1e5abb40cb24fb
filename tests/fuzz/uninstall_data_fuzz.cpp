// Fuzzes the uninstall data file through both of its readers: loadFrom, as
// the installation reads one left in the target folder by an earlier run,
// and loadForRemoval, as the uninstaller reads it before it removes what the
// file lists.
//
// Each input is written as C:\Target\_vmunins.dat on the simulated drive.
// Beyond not crashing, what the lists hold afterwards must be sound:
//   - a failed read leaves the list empty;
//   - every record has a known kind and a path of 1 to 259 characters
//     strictly inside C:\Target, since a roll-back or the uninstaller acts
//     on every record;
//   - a file loadFrom accepts reads the same through loadForRemoval;
//   - saved and loaded again, a list comes back record for record;
//   - the installation's roll-back and the uninstaller's removal leave
//     C:\Target and everything outside it in place.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz_guard.h"
#include "fuzz_machine.h"
#include "base/paths.h"
#include "extract/uninstall_list.h"
#include "platform/win32.h"
#include "sim/sim.h"
#include "uninstall/recorded_items.h"
#include "uninstall/removal.h"

namespace {

constexpr char kTargetFolder[] = "C:\\Target";
constexpr char kDataFile[] = "C:\\Target\\_vmunins.dat";
constexpr char kSavedCopy[] = "C:\\Target\\saved.dat";
// Things a roll-back or the uninstaller must never reach: a neighbour of the target folder
// whose name starts like it, and a folder elsewhere with a file in it.
constexpr char kNeighbourFile[] = "C:\\Target2\\kept.txt";
constexpr char kOutsideFile[] = "C:\\Keep\\kept.txt";
constexpr char kOutsideFolder[] = "C:\\Keep";

struct LoadRun {
  const uint8_t* data;
  size_t size;
};

void require(bool condition, const char* what) {
  if (condition) return;
  printf("fuzz: %s\n", what);
  fflush(stdout);
  __builtin_trap();
}

// No check fails while a data file is open; should one ever, its stream is
// closed before the next input writes the file again.
void closeLeftOpenStreams() { sim::closeProgramStreams(); }

bool sameRecords(const UninstallList& a, const UninstallList& b) {
  const PtrListNode<UninstallRecord>* x = a.records().head();
  const PtrListNode<UninstallRecord>* y = b.records().head();
  for (; x != nullptr && y != nullptr; x = x->next, y = y->next) {
    if (x->item->kind != y->item->kind || strcmp(x->item->path, y->item->path) != 0) return false;
  }
  return x == nullptr && y == nullptr;
}

void checkRecords(const UninstallList& list) {
  for (const PtrListNode<UninstallRecord>* node = list.records().head(); node != nullptr; node = node->next) {
    const UninstallRecord* record = node->item;
    require(record->kind == kUninstallFile || record->kind == kUninstallFolder, "a record of an unknown kind");
    size_t length = strlen(record->path);
    require(length >= 1 && length < static_cast<size_t>(kPathBufferSize), "a record path of a bad length");
    require(isPathInsideFolder(record->path, kTargetFolder), "a record outside the target folder");
  }
}

void writeInput(const uint8_t* data, size_t size) {
  FILE* file = openWindowsFile(kDataFile, "wb");
  require(file != nullptr, "the data file cannot be written");
  require(size == 0 || fwrite(data, size, 1, file) == 1, "the data file cannot be written");
  require(fclose(file) == 0, "the data file cannot be written");
}

void checkNothingOutsideWasTouched(const char* by) {
  if (sim::fileExists(kOutsideFile) && sim::fileExists(kNeighbourFile) && sim::folderExists(kTargetFolder)) return;
  printf("fuzz: %s removed the target folder or something outside it\n", by);
  fflush(stdout);
  __builtin_trap();
}

void readAndRemove(void* context) {
  const LoadRun& run = *static_cast<const LoadRun*>(context);
  writeInput(run.data, run.size);
  UninstallList list;
  bool loaded = list.loadFrom(kDataFile);
  require(loaded || list.records().head() == nullptr, "a failed load left records behind");
  checkRecords(list);
  UninstallList salvaged;
  bool read = salvaged.loadForRemoval(kDataFile);
  require(read || salvaged.records().head() == nullptr, "a failed read for removal left records behind");
  checkRecords(salvaged);
  require(!loaded || (read && sameRecords(list, salvaged)), "a sound file reads differently for the uninstaller");
  if (loaded) {
    require(list.saveTo(kSavedCopy), "a loaded list cannot be saved");
    UninstallList again;
    require(again.loadFrom(kSavedCopy), "a saved list cannot be loaded");
    require(sameRecords(list, again), "a saved list loads back differently");
  }
  list.rollBack(kTargetFolder);
  checkNothingOutsideWasTouched("the roll-back");
  RemovalTally tally;
  removeRecordedItems(salvaged, kTargetFolder, tally);
  checkNothingOutsideWasTouched("the uninstaller");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  startFuzzMachine();
  CreateDirectoryA(kTargetFolder, nullptr);
  CreateDirectoryA("C:\\Target2", nullptr);
  CreateDirectoryA(kOutsideFolder, nullptr);
  sim::writeFile(kNeighbourFile, "kept");
  sim::writeFile(kOutsideFile, "kept");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LoadRun run = {data, size};
  runGuarded(readAndRemove, &run, closeLeftOpenStreams);
  return 0;
}

// Fuzzes the uninstall data file through UninstallList::loadFrom, as the
// installation reads one left in the target folder by an earlier run.
//
// Each input is written as C:\Target\_vmunins.dat on the simulated drive.
// Beyond not crashing, what the list holds afterwards must be sound:
//   - a failed load leaves the list empty;
//   - every record has a known kind and a path of 1 to 259 characters
//     strictly inside C:\Target, since a roll-back acts on every record;
//   - saved and loaded again, the list comes back record for record;
//   - a roll-back over it leaves C:\Target and everything outside it in
//     place.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz_guard.h"
#include "fuzz_machine.h"
#include "install/paths.h"
#include "install/uninstall_list.h"
#include "platform/win32.h"
#include "sim/sim.h"

namespace {

constexpr char kTargetFolder[] = "C:\\Target";
constexpr char kDataFile[] = "C:\\Target\\_vmunins.dat";
constexpr char kSavedCopy[] = "C:\\Target\\saved.dat";
// Things a roll-back must never reach: a neighbour of the target folder
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
  fprintf(stderr, "fuzz: %s\n", what);
  __builtin_trap();
}

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

void loadSaveAndRollBack(void* context) {
  const LoadRun& run = *static_cast<const LoadRun*>(context);
  writeInput(run.data, run.size);
  UninstallList list;
  bool loaded = list.loadFrom(kDataFile);
  require(loaded || list.records().head() == nullptr, "a failed load left records behind");
  checkRecords(list);
  if (!loaded) return;
  require(list.saveTo(kSavedCopy), "a loaded list cannot be saved");
  UninstallList again;
  require(again.loadFrom(kSavedCopy), "a saved list cannot be loaded");
  require(sameRecords(list, again), "a saved list loads back differently");
  list.rollBack();
  require(sim::fileExists(kOutsideFile) && sim::fileExists(kNeighbourFile), "a roll-back deleted a file outside");
  require(sim::folderExists(kTargetFolder), "a roll-back removed the target folder itself");
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
  runGuarded(loadSaveAndRollBack, &run);
  return 0;
}

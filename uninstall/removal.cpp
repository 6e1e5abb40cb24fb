#include "uninstall/removal.h"

#include "install/paths.h"
#include "install/replace_on_restart.h"
#include "platform/win32.h"

namespace {

bool isGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

void scheduleRemoval(const char* path, int32_t kind, RemovalTally& tally) {
  if (!deleteOnRestart(path)) {
    ++tally.leftBehind;
    return;
  }
  ++tally.scheduled;
  // Without memory to note it, a folder around it is merely left in place.
  tally.waiting.addRecord(path, kind);
}

bool holdsWaitingItem(const char* folder, const RemovalTally& tally) {
  for (PtrListNode<UninstallRecord>* node = tally.waiting.records().head(); node != nullptr; node = node->next) {
    if (isPathInsideFolder(node->item->path, folder)) return true;
  }
  return false;
}

}  // namespace

void removeFile(const char* path, RemovalTally& tally) {
  if (DeleteFileA(path) || isGone(GetLastError())) return;
  scheduleRemoval(path, kUninstallFile, tally);
}

void removeFolder(const char* path, RemovalTally& tally) {
  if (RemoveDirectoryA(path)) return;
  DWORD error = GetLastError();
  // A file of that name is not the folder that was recorded.
  if (isGone(error) || error == ERROR_DIRECTORY) return;
  if (error == ERROR_DIR_NOT_EMPTY && !holdsWaitingItem(path, tally)) return;
  scheduleRemoval(path, kUninstallFolder, tally);
}

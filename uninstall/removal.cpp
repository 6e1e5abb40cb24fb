#include "base/held_folder.h"
#include "uninstall/removal.h"

#include "base/paths.h"
#include "base/run_log.h"
#include "install/replace_on_restart.h"
#include "platform/win32.h"
#include "base/windows_version.h"

#include <cstring>

namespace {

bool isGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// "C:\" and the like, whatever separators follow the drive.
bool isDriveRoot(const char* path) {
  if (!isDriveRootedPath(path)) return false;
  for (const char* rest = path + 2; *rest != '\0'; ++rest)
    if (*rest != '\\' && *rest != '/') return false;
  return true;
}

void scheduleRemoval(const char* path, int32_t kind, RemovalTally& tally) {
  // wininit.ini deletes files, never folders, and no start of Windows
  // removes a drive's root: such a folder stays, and the user is told.
  if (kind == kUninstallFolder && (!isWindowsNT() || isDriveRoot(path))) {
    logLine("Left in place: %s", path);
    ++tally.leftBehind;
    return;
  }
  if (!deleteOnRestart(path)) {
    logLine("Left in place: %s", path);
    ++tally.leftBehind;
    return;
  }
  logLine("Waits for the next start of Windows: %s", path);
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

// Whether the folder holds nothing but "." and "..".
bool isEmptyFolder(const char* path) {
  char pattern[kPathBufferSize];
  if (formatText(pattern, sizeof pattern, "%s", path) < 0 || !joinPath(pattern, "*")) return false;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return true;
  bool empty = true;
  do {
    if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) empty = false;
  } while (empty && FindNextFileA(search, &found));
  FindClose(search);
  return empty;
}

}  // namespace

void removeFile(const char* path, RemovalTally& tally) {
  if (DeleteFileA(path)) {
    logLine("Deleted %s", path);
    return;
  }
  if (isGone(GetLastError())) return;
  scheduleRemoval(path, kUninstallFile, tally);
}

void removeFolder(const char* path, RemovalTally& tally) {
  letGoOfFolderAt(path);
  if (RemoveDirectoryA(path)) {
    logLine("Removed the folder %s", path);
    return;
  }
  DWORD error = GetLastError();
  // A file of that name is not the folder that was recorded.
  if (isGone(error) || error == ERROR_DIRECTORY) return;
  // Windows 95 to ME say access denied where NT says not empty.
  bool holdsSomething = error == ERROR_DIR_NOT_EMPTY || (error == ERROR_ACCESS_DENIED && !isWindowsNT() && !isEmptyFolder(path));
  // What it holds is someone else's unless it waits for the restart too.
  if (holdsSomething && !holdsWaitingItem(path, tally)) {
    logLine("Kept the folder %s: it holds other files", path);
    return;
  }
  scheduleRemoval(path, kUninstallFolder, tally);
}

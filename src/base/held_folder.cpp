#include "base/held_folder.h"

#include <cstring>

#include "base/paths.h"
#include "base/windows_version.h"
#include "platform/win32.h"

namespace {

HANDLE heldFolder = INVALID_HANDLE_VALUE;
char heldPath[kPathBufferSize];

HANDLE openFolder(const char* path, DWORD share) {
  return CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Whether the path leads to the very folder `held` holds: both handles name
// one file system object.
bool pathLeadsTo(const char* path, HANDLE held) {
  HANDLE named = openFolder(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION heldInfo;
  BY_HANDLE_FILE_INFORMATION namedInfo;
  bool same = GetFileInformationByHandle(held, &heldInfo) && GetFileInformationByHandle(named, &namedInfo) &&
              heldInfo.dwVolumeSerialNumber == namedInfo.dwVolumeSerialNumber &&
              heldInfo.nFileIndexHigh == namedInfo.nFileIndexHigh && heldInfo.nFileIndexLow == namedInfo.nFileIndexLow;
  CloseHandle(named);
  return same;
}

}  // namespace

bool leadsThroughReparsePoint(const char* path) {
  const char root[] = {path[0], ':', '\\', '\0'};
  // A drive's root is no link.
  return isDriveRootedPath(path) && path[3] != '\0' && passesReparsePoint(path, root, true);
}

bool holdFolder(const char* folder) {
  releaseHeldFolder();
  if (!isWindowsNT()) return true;
  if (!isDriveRootedPath(folder) || strlen(folder) >= sizeof heldPath) return false;
  HANDLE held = openFolder(folder, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (held == INVALID_HANDLE_VALUE) return false;
  // Checked once the folder is held, when nothing on the path can change any
  // more: a junction on the way (planted before the hold) would make the
  // path lead through a level that is no folder above the held one, which
  // could still be swapped; the second open shows that the path and the
  // handle meet.
  if (leadsThroughReparsePoint(folder) || !pathLeadsTo(folder, held)) {
    CloseHandle(held);
    return false;
  }
  heldFolder = held;
  strcpy(heldPath, folder);
  return true;
}

void letGoOfFolderAt(const char* path) {
  if (heldFolder != INVALID_HANDLE_VALUE && pathsNameSameFolder(path, heldPath)) releaseHeldFolder();
}

void releaseHeldFolder() {
  if (heldFolder == INVALID_HANDLE_VALUE) return;
  CloseHandle(heldFolder);
  heldFolder = INVALID_HANDLE_VALUE;
}

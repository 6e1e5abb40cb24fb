#include "install/replace_on_restart.h"

#include <cstdio>
#include <cstring>

#include "install/paths.h"
#include "platform/win32.h"
#include "setup/context.h"
#include "setup/fatal.h"
#include "setup/windows_version.h"

namespace {

const char kRenameSection[] = "rename";
const char kWininitFile[] = "wininit.ini";
// The destination of a rename that deletes its source.
const char kWininitNothing[] = "NUL";

// Windows 95 reads at most 32 KB of wininit.ini. The room kept free above the
// section read holds one more "destination=source" line of two full paths.
const int32_t kSectionBufferSize = 32000;
const int32_t kLineRoom = 2000;

// `path` in its 8.3 form followed by `name`, in a path buffer.
bool shortPathTo(const char* folder, const char* name, char* path) {
  DWORD length = GetShortPathNameA(folder, path, kPathBufferSize);
  if (length == 0 || length >= kPathBufferSize) return false;
  return joinPath(path, name);
}

// Appends "destination=source" to the "rename" section, after every line it
// holds already (a key may appear more than once there; each line is one
// rename, made in order).
bool scheduleInWininit(const char* source, const char* destination) {
  char* section = static_cast<char*>(allocateBlock(kSectionBufferSize));
  if (section == nullptr) return false;
  DWORD used = GetPrivateProfileSectionA(kRenameSection, section, kSectionBufferSize, kWininitFile);
  if (used > static_cast<DWORD>(kSectionBufferSize - kLineRoom)) {
    freeBlock(section);
    return false;
  }
  int length = formatText(section + used, static_cast<size_t>(kSectionBufferSize) - used - 1, "%s=%s", destination,
                        source);
  ENSURE(length > 0 && static_cast<DWORD>(length) < static_cast<DWORD>(kLineRoom) - 1);
  section[used + static_cast<DWORD>(length) + 1] = '\0';  // the list ends with two zeros
  bool written = WritePrivateProfileSectionA(kRenameSection, section, kWininitFile) != FALSE;
  freeBlock(section);
  return written;
}

}  // namespace

bool replaceOnRestart(const char* sourceFolder, const char* sourceName, const char* destinationFolder,
                      const char* destinationName) {
  char source[kPathBufferSize];
  char destination[kPathBufferSize];
  if (!shortPathTo(sourceFolder, sourceName, source)) return false;
  if (!shortPathTo(destinationFolder, destinationName, destination)) return false;
  if (isWindowsNT()) {
    if (!MoveFileExA(source, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) return false;
  } else if (!scheduleInWininit(source, destination)) {
    return false;
  }
  installOptions.restartNeeded = 1;
  return true;
}

bool deleteOnRestart(const char* path) {
  if (isWindowsNT()) return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
  char shortPath[kPathBufferSize];
  DWORD length = GetShortPathNameA(path, shortPath, kPathBufferSize);
  if (length == 0 || length >= kPathBufferSize) return false;
  return scheduleInWininit(shortPath, kWininitNothing);
}

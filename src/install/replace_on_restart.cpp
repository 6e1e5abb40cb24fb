#include "install/replace_on_restart.h"

#include <cstdio>
#include <cstring>

#include "base/paths.h"
#include "base/registry_key.h"
#include "platform/win32.h"
#include "base/context.h"
#include "base/exported_function.h"
#include "base/fatal.h"
#include "base/windows_version.h"

namespace {

const char kRenameSection[] = "rename";
const char kWininitFile[] = "wininit.ini";
// The destination of a rename that deletes its source.
const char kWininitNothing[] = "NUL";

// Where NT keeps the moves for its next start: pairs of texts, the source,
// then the destination ("" to delete, a "!" first to replace a file), each as
// an NT path ("\\??\\C:\\..."), the list ended by an empty text.
const char kSessionManagerKeyPath[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingMovesValue[] = "PendingFileRenameOperations";
const char kNtPathPrefix[] = "\\??\\";

// Windows 95 reads at most 32 KB of wininit.ini. The room kept free above the
// section read holds one more "destination=source" line of two full paths.
const int32_t kSectionBufferSize = 32000;
const int32_t kLineRoom = 2000;

typedef BOOL(WINAPI* IsWow64ProcessFunction)(HANDLE process, BOOL* wow64);
typedef UINT(WINAPI* GetSystemWow64DirectoryFunction)(LPSTR buffer, UINT size);

// `path` as the system's start-up sees it. On 64-bit Windows a 32-bit
// program's system folder (WoW64) is system32 by name, but the file system
// redirects every access to it to syswow64. The moves for the next start are
// carried out by a 64-bit process, which sees no redirection: Windows since
// XP x64 SP1 records them under syswow64 on the program's behalf, but Wine
// and the first XP x64 record them as given, and the start then moves
// nothing. So a path in the system folder is written with the folder's real
// name, and a move recorded either way is found again. Both functions are
// looked up: Windows 95 to 2000 lack them.
bool withoutRedirection(const char* path, char* real) {
  if (formatText(real, kPathBufferSize, "%s", path) < 0) return false;
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  IsWow64ProcessFunction isWow64Process = exportedFunction<IsWow64ProcessFunction>(kernel, "IsWow64Process");
  GetSystemWow64DirectoryFunction getSystemWow64Directory =
      exportedFunction<GetSystemWow64DirectoryFunction>(kernel, "GetSystemWow64DirectoryA");
  BOOL wow64 = FALSE;
  if (isWow64Process == nullptr || getSystemWow64Directory == nullptr ||
      !isWow64Process(GetCurrentProcess(), &wow64) || !wow64)
    return true;
  char system[kPathBufferSize];
  char redirected[kPathBufferSize];
  UINT systemLength = GetSystemDirectoryA(system, kPathBufferSize);
  UINT redirectedLength = getSystemWow64Directory(redirected, kPathBufferSize);
  if (systemLength == 0 || systemLength >= kPathBufferSize || redirectedLength == 0 ||
      redirectedLength >= kPathBufferSize)
    return true;
  // Only the folder itself or a path below it: not C:\WINDOWS\SYSTEM32X.
  size_t length = strlen(path);
  if (length < systemLength || (path[systemLength] != '\\' && path[systemLength] != '\0')) return true;
  char head[kPathBufferSize];
  memcpy(head, path, systemLength);
  head[systemLength] = '\0';
  if (!pathsEqualIgnoringCase(head, system)) return true;
  return formatText(real, kPathBufferSize, "%s%s", redirected, path + systemLength) >= 0;
}

// `path` in its 8.3 form followed by `name`, in a path buffer.
bool shortPathTo(const char* folder, const char* name, char* path) {
  char real[kPathBufferSize];
  if (!withoutRedirection(folder, real)) return false;
  DWORD length = GetShortPathNameA(real, path, kPathBufferSize);
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

const char* withoutNtPrefix(const char* path) {
  size_t length = strlen(kNtPathPrefix);
  return strncmp(path, kNtPathPrefix, length) == 0 ? path + length : path;
}

// The paths a move onto the destination may have been written with.
struct MoveTarget {
  char shortPath[kPathBufferSize];
  char longPath[kPathBufferSize];
  bool matches(const char* path) const {
    char real[kPathBufferSize];
    if (!withoutRedirection(path, real)) return false;
    return pathsEqualIgnoringCase(real, shortPath) || pathsEqualIgnoringCase(real, longPath);
  }
};

bool copyOut(const char* path, char* source) {
  return formatText(source, kPathBufferSize, "%s", path) >= 0;
}

bool cancelInSessionManager(const MoveTarget& target, bool (*accepts)(const char*), char* source) {
  RegistryKey sessionManager;
  DWORD type = 0;
  DWORD size = 0;
  if (!sessionManager.open(HKEY_LOCAL_MACHINE, kSessionManagerKeyPath) ||
      sessionManager.query(kPendingMovesValue, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_MULTI_SZ ||
      size > 0x100000)
    return false;
  // Two zeros more than the value holds: a list cut short still ends.
  char* list = static_cast<char*>(allocateBlock(static_cast<int32_t>(size) + 2));
  if (list == nullptr) return false;
  bool cancelled = false;
  if (sessionManager.query(kPendingMovesValue, &type, list, &size) == ERROR_SUCCESS) {
    list[size] = '\0';
    list[size + 1] = '\0';
    char* end = list + size + 1;
    for (char* pair = list; *pair != '\0' && !cancelled;) {
      char* destination = pair + strlen(pair) + 1;
      char* next = destination < end ? destination + strlen(destination) + 1 : end;
      const char* named = withoutNtPrefix(destination[0] == '!' ? destination + 1 : destination);
      if (destination < end && destination[0] != '\0' && target.matches(named) &&
          accepts(withoutNtPrefix(pair)) && copyOut(withoutNtPrefix(pair), source)) {
        // The pair goes; what follows it moves up, the list's end included.
        memmove(pair, next, static_cast<size_t>(end - next) + 1);
        size -= static_cast<DWORD>(next - pair);
        cancelled = list[0] == '\0' ? sessionManager.removeValue(kPendingMovesValue)
                                     : sessionManager.setValue(kPendingMovesValue, REG_MULTI_SZ, list, size);
      }
      pair = next;
    }
  }
  freeBlock(list);
  return cancelled;
}

bool cancelInWininit(const MoveTarget& target, bool (*accepts)(const char*), char* source) {
  char* section = static_cast<char*>(allocateBlock(kSectionBufferSize));
  if (section == nullptr) return false;
  DWORD used = GetPrivateProfileSectionA(kRenameSection, section, kSectionBufferSize, kWininitFile);
  bool cancelled = false;
  // A section cut short by the buffer cannot be written back whole.
  if (used <= static_cast<DWORD>(kSectionBufferSize - kLineRoom)) {
    for (char* line = section; *line != '\0' && !cancelled;) {
      size_t length = strlen(line);
      char* next = line + length + 1;
      char* equals = strchr(line, '=');
      if (equals != nullptr) {
        *equals = '\0';
        bool ours = target.matches(line) && accepts(equals + 1) && copyOut(equals + 1, source);
        *equals = '=';
        if (ours) {
          memmove(line, next, static_cast<size_t>(section + used + 1 - next));
          used -= static_cast<DWORD>(next - line);
          // An empty section is written as no section at all.
          cancelled = used == 0 ? WritePrivateProfileStringA(kRenameSection, nullptr, nullptr, kWininitFile) != FALSE
                                : WritePrivateProfileSectionA(kRenameSection, section, kWininitFile) != FALSE;
        }
      }
      if (!cancelled) line = next;
    }
  }
  freeBlock(section);
  return cancelled;
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
  char real[kPathBufferSize];
  if (!withoutRedirection(path, real)) return false;
  if (isWindowsNT()) return MoveFileExA(real, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
  char shortPath[kPathBufferSize];
  DWORD length = GetShortPathNameA(real, shortPath, kPathBufferSize);
  if (length == 0 || length >= kPathBufferSize) return false;
  return scheduleInWininit(shortPath, kWininitNothing);
}

bool cancelReplacementOnRestart(const char* destinationFolder, const char* destinationName,
                                bool (*accepts)(const char* source), char* source) {
  MoveTarget target;
  if (!shortPathTo(destinationFolder, destinationName, target.shortPath) ||
      !withoutRedirection(destinationFolder, target.longPath) || !joinPath(target.longPath, destinationName))
    return false;
  return isWindowsNT() ? cancelInSessionManager(target, accepts, source) : cancelInWininit(target, accepts, source);
}

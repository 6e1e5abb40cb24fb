#include "uninstall/hand_over.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "install/registry.h"
#include "install/replace_on_restart.h"
#include "platform/win32.h"

namespace {

const char kHandOverSwitch[] = "/original:";
// Folders ~vmun000 to ~vmun999 under the temporary folder; the first that
// can be created is the copy's.
const char kCopyFolderPattern[] = "~vmun%03d";
const int kCopyFolderNames = 1000;
// The original ends right after starting the copy; a longer wait means it
// hangs, and its file is then scheduled instead.
const DWORD kOriginalExitTimeoutMs = 15000;

bool copyFolderOf(const char* temporaryFolder, char* folder) {
  for (int i = 0; i < kCopyFolderNames; ++i) {
    char name[16];
    formatText(name, sizeof name, kCopyFolderPattern, i);
    formatText(folder, kPathBufferSize, "%s", temporaryFolder);
    if (!joinPath(folder, name)) return false;
    if (CreateDirectoryA(folder, nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool temporaryFolder(char* folder) {
  DWORD length = GetTempPathA(kPathBufferSize, folder);
  return length != 0 && length < kPathBufferSize;
}

}  // namespace

bool parseHandOver(const char* commandLine, HandOver* handOver) {
  while (*commandLine == ' ' || *commandLine == '\t') ++commandLine;
  size_t switchLength = strlen(kHandOverSwitch);
  if (strncmp(commandLine, kHandOverSwitch, switchLength) != 0) return false;
  const char* number = commandLine + switchLength;
  if (*number < '0' || *number > '9') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long processId = strtoul(number, &end, 10);
  if (*end != ' ' || errno == ERANGE || processId > 0xFFFFFFFFul) return false;
  const char* path = end;
  while (*path == ' ') ++path;
  size_t length = strlen(path);
  while (length > 0 && (path[length - 1] == ' ' || path[length - 1] == '\t')) --length;
  if (length >= kPathBufferSize) return false;
  memcpy(handOver->originalPath, path, length);
  handOver->originalPath[length] = '\0';
  handOver->originalProcessId = static_cast<uint32_t>(processId);
  return isDriveRootedPath(handOver->originalPath);
}

bool handOverToCopy(const char* programPath) {
  char temporary[kPathBufferSize];
  char folder[kPathBufferSize];
  char copy[kPathBufferSize];
  if (!temporaryFolder(temporary) || !copyFolderOf(temporary, folder)) return false;
  // The copy keeps the program's name, under which Windows knows it.
  formatText(copy, sizeof copy, "%s", folder);
  bool started = false;
  if (joinPath(copy, kUninstallerName) && CopyFileA(programPath, copy, TRUE)) {
    char commandLine[2 * kPathBufferSize + 32];
    formatText(commandLine, sizeof commandLine, "\"%s\" %s%lu %s", copy, kHandOverSwitch,
             static_cast<unsigned long>(GetCurrentProcessId()), programPath);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    // The copy works in its own folder: a process's current folder cannot be
    // removed, and the installation folder is to go.
    started = CreateProcessA(copy, commandLine, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process) !=
              FALSE;
    if (started) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    } else {
      DeleteFileA(copy);
    }
  }
  if (!started) RemoveDirectoryA(folder);
  return started;
}

void waitForOriginal(uint32_t processId) {
  // A process that has ended already cannot be opened, and needs no wait.
  HANDLE original = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (original == nullptr) return;
  WaitForSingleObject(original, kOriginalExitTimeoutMs);
  CloseHandle(original);
}

void scheduleCopyCleanup() {
  char copy[kPathBufferSize];
  char temporary[kPathBufferSize];
  DWORD length = GetModuleFileNameA(nullptr, copy, kPathBufferSize);
  if (length == 0 || length >= kPathBufferSize || !temporaryFolder(temporary)) return;
  char folder[kPathBufferSize];
  copyFolderOfPath(copy, folder);
  // Only a copy made by handOverToCopy: never the folder of a program
  // started from anywhere else with a copy's command line.
  if (!isPathInsideFolder(folder, temporary)) return;
  // In that order, so that the folder is empty when its turn comes. What
  // cannot be scheduled stays in the temporary folder.
  deleteOnRestart(copy);
  deleteOnRestart(folder);
}

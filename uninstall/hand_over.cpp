#include "uninstall/hand_over.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/context.h"
#include "base/exit_codes.h"
#include "base/exported_function.h"
#include "base/run_log.h"
#include "install/registry.h"
#include "install/replace_on_restart.h"
#include "platform/win32.h"
#include "base/windows_version.h"

namespace {

const char kHandOverSwitch[] = "/original:";
const char kPrivateFolderParent[] = "Temp";  // in the Windows folder
const char kCopyFolderPattern[] = "~vmun%03d";
const char kCopyFilePattern[] = "~vmun%03d.exe";
const int kCopyNames = 1000;
// Full control for the administrators and the system, handed down to what
// the folder holds; "P": nothing handed down from the folder above it, where
// every user may create.
const char kPrivateFolderSecurity[] = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
const DWORD kSddlRevision1 = 1;
// The original ends right after starting the copy; a longer wait means it
// hangs, and its file is then scheduled instead.
const DWORD kOriginalExitTimeoutMs = 15000;

typedef BOOL(WINAPI* ConvertSecurityTextFunction)(LPCSTR text, DWORD revision, PSECURITY_DESCRIPTOR* descriptor,
                                                   PULONG size);

bool temporaryFolder(char* folder) {
  DWORD length = GetTempPathA(kPathBufferSize, folder);
  return length != 0 && length < kPathBufferSize;
}

// The folder the NT copies are made in.
bool privateFolderParent(char* folder) {
  UINT length = GetWindowsDirectoryA(folder, kPathBufferSize);
  return length != 0 && length < kPathBufferSize && joinPath(folder, kPrivateFolderParent);
}

// Creates `folder`, which must not exist yet, writable by administrators and
// the system only. The function that reads the description is looked up:
// Windows 2000 brought it, and an import would keep the program from
// starting on NT 4 and 95 to ME.
bool createPrivateFolder(const char* folder) {
  ConvertSecurityTextFunction convert = exportedFunction<ConvertSecurityTextFunction>(
      GetModuleHandleA("advapi32.dll"), "ConvertStringSecurityDescriptorToSecurityDescriptorA");
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (convert == nullptr || !convert(kPrivateFolderSecurity, kSddlRevision1, &descriptor, nullptr)) return false;
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  BOOL created = CreateDirectoryA(folder, &security);
  DWORD error = GetLastError();
  LocalFree(descriptor);
  SetLastError(error);
  return created != FALSE;
}

// NT: a new private folder and the copy in it, under the program's own name,
// under which Windows knows it.
bool copyIntoPrivateFolder(const char* programPath, char* folder, char* copy) {
  char parent[kPathBufferSize];
  if (!privateFolderParent(parent)) return false;
  for (int i = 0; i < kCopyNames; ++i) {
    char name[16];
    formatText(name, sizeof name, kCopyFolderPattern, i);
    formatText(folder, kPathBufferSize, "%s", parent);
    if (!joinPath(folder, name)) return false;
    // A folder that exists already was made by someone else: never used.
    if (!createPrivateFolder(folder)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      return false;
    }
    formatText(copy, kPathBufferSize, "%s", folder);
    if (joinPath(copy, kUninstallerName) && CopyFileA(programPath, copy, TRUE)) return true;
    RemoveDirectoryA(folder);
    return false;
  }
  return false;
}

// 95 to ME: a new file in the temporary folder, which it runs in.
bool copyIntoTemporaryFolder(const char* programPath, char* folder, char* copy) {
  if (!temporaryFolder(folder)) return false;
  for (int i = 0; i < kCopyNames; ++i) {
    char name[16];
    formatText(name, sizeof name, kCopyFilePattern, i);
    formatText(copy, kPathBufferSize, "%s", folder);
    if (!joinPath(copy, name)) return false;
    if (CopyFileA(programPath, copy, TRUE)) return true;
    if (GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

// Whether the file name ending `path` is one copyIntoTemporaryFolder gives.
bool isCopyFileName(const char* path) {
  const char* name = path + strlen(path);
  while (name > path && !isPathSeparator(name[-1])) --name;
  if (strlen(name) != 12 || strncmp(name, "~vmun", 5) != 0) return false;
  for (int i = 5; i < 8; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return pathsEqualIgnoringCase(name + 8, ".exe");
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

HANDLE holdProgramFile(const char* programPath) {
  return CreateFileA(programPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

bool handOverToCopy(const char* programPath, HANDLE* copyProcess) {
  char folder[kPathBufferSize];
  char copy[kPathBufferSize];
  bool nt = isWindowsNT();
  if (!(nt ? copyIntoPrivateFolder(programPath, folder, copy) : copyIntoTemporaryFolder(programPath, folder, copy)))
    return false;
  // The user's switches go on, the log by its full path: the copy works in
  // another folder.
  char switches[kPathBufferSize + 16] = "";
  if (runSwitches.unattended != 0) strcpy(switches, "/S ");
  if (runSwitches.logPath[0] != '\0')
    formatText(switches + strlen(switches), sizeof switches - strlen(switches), "/LOG=\"%s\" ", runSwitches.logPath);
  char commandLine[3 * kPathBufferSize + 48];
  formatText(commandLine, sizeof commandLine, "\"%s\" %s%s%lu %s", copy, switches, kHandOverSwitch,
             static_cast<unsigned long>(GetCurrentProcessId()), programPath);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  // The copy works in the folder it was made in: a process's current folder
  // cannot be removed, and the installation folder is to go.
  bool started =
      CreateProcessA(copy, commandLine, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process) != FALSE;
  if (started) {
    CloseHandle(process.hThread);
    if (copyProcess != nullptr) {
      *copyProcess = process.hProcess;
    } else {
      CloseHandle(process.hProcess);
    }
  } else {
    DeleteFileA(copy);
    if (nt) RemoveDirectoryA(folder);
  }
  return started;
}

void waitForOriginal(uint32_t processId) {
  // A process that has ended already cannot be opened, and needs no wait.
  HANDLE original = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (original == nullptr) return;
  WaitForSingleObject(original, kOriginalExitTimeoutMs);
  CloseHandle(original);
}

uint32_t waitForCopy(HANDLE copy) {
  DWORD exitCode = kExitStepFailed;
  if (WaitForSingleObject(copy, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(copy, &exitCode))
    exitCode = kExitStepFailed;
  CloseHandle(copy);
  return exitCode;
}

HANDLE openWaitingOriginal(uint32_t processId) {
  return OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
}

void endWaitingOriginal(HANDLE original, uint32_t exitCode) {
  logLine("Ending the uninstaller that waits for this copy, with exit code %lu", static_cast<unsigned long>(exitCode));
  if (TerminateProcess(original, exitCode)) WaitForSingleObject(original, kOriginalExitTimeoutMs);
  CloseHandle(original);
}

void scheduleCopyCleanup() {
  char copy[kPathBufferSize];
  DWORD length = GetModuleFileNameA(nullptr, copy, kPathBufferSize);
  if (length == 0 || length >= kPathBufferSize) return;
  char folder[kPathBufferSize];
  char parent[kPathBufferSize];
  copyFolderOfPath(copy, folder);
  // Only a copy made by handOverToCopy: never the folder of a program
  // started from anywhere else with a copy's command line. What cannot be
  // scheduled stays where it is.
  if (isWindowsNT()) {
    if (!privateFolderParent(parent) || !isPathInsideFolder(folder, parent)) return;
    // In that order, so that the folder is empty when its turn comes.
    deleteOnRestart(copy);
    deleteOnRestart(folder);
  } else if (temporaryFolder(parent) && pathsNameSameFolder(folder, parent) && isCopyFileName(copy)) {
    deleteOnRestart(copy);
  }
}

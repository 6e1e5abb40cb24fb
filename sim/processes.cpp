// Processes of the simulated machine: the program's own file and process id,
// the temporary folder, the programs it starts (noted, never run), and other
// programs' processes that it may open and wait for.
#include "sim/processes.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>

#include "sim/machine.h"

using sim::machine;

namespace {

// A process of another program, as OpenProcess finds it by its id.
struct OtherProcess {
  bool endsWhenWaitedFor;
  bool ended;
  std::function<void()> atEnd;
  DWORD exitCode;
};

// What an open handle stands for: a process (another program's, or one the
// program started), or the main thread of a started one.
struct ProcessHandle {
  DWORD processId;
  bool isThread;
};

struct ProcessState {
  std::string programPath = "C:\\setup.exe";
  DWORD processId = 0x3E8;
  std::string tempFolder = "C:\\WINDOWS\\TEMP";
  std::map<DWORD, OtherProcess> others;
  std::vector<sim::StartedProcess> started;
  // Whether waiting for a started program ends it, with which exit code,
  // and the exit codes of those that have ended, by process id.
  bool startedEndWhenWaitedFor = false;
  DWORD startedExitCode = 0;
  std::map<DWORD, DWORD> startedEnded;
  DWORD nextProcessId = 0x7D0;
  std::map<HANDLE, std::unique_ptr<ProcessHandle>> handles;
  // Named mutexes by their exact names: whether another program made it and
  // lets this one open it. Handles of the program's own never close.
  std::map<std::string, bool> otherMutexes;
  std::map<std::string, int> ownMutexes;
};

ProcessState& processState() {
  static ProcessState state;
  return state;
}

// Makes every missing level of a Windows path on the host; false when it
// names no simulated drive.
bool makeFolders(const std::string& windowsPath) {
  if (sim::hostPath(windowsPath.substr(0, 3)).empty()) return false;
  for (size_t end = 3; end <= windowsPath.size(); ++end) {
    if (end < windowsPath.size() && windowsPath[end] != '\\' && windowsPath[end] != '/') continue;
    mkdir(sim::hostPath(windowsPath.substr(0, end)).c_str(), 0777);
  }
  return sim::folderExists(windowsPath);
}

sim::ResetHook clearProcessState([] {
  processState() = ProcessState();
  // Drive C: may not have been added yet by the hooks that run before this one.
  sim::addDrive('C');
  makeFolders(processState().tempFolder);
});

HANDLE newHandle(DWORD processId, bool isThread) {
  std::unique_ptr<ProcessHandle> record(new ProcessHandle{processId, isThread});
  HANDLE handle = reinterpret_cast<HANDLE>(record.get());
  processState().handles[handle] = std::move(record);
  return handle;
}

bool fail(DWORD error) {
  machine().lastError = error;
  return false;
}

}  // namespace

namespace sim {

void setProgramPath(const std::string& windowsPath) { processState().programPath = windowsPath; }

DWORD currentProcessId() { return processState().processId; }

bool setTempFolder(const std::string& windowsPath) {
  processState().tempFolder = windowsPath;
  return makeFolders(windowsPath);
}

void addProcess(DWORD processId, bool endsWhenWaitedFor, std::function<void()> atEnd) {
  processState().others[processId] = OtherProcess{endsWhenWaitedFor, false, std::move(atEnd), 0};
}

bool processEnded(DWORD processId) {
  auto found = processState().others.find(processId);
  return found != processState().others.end() && found->second.ended;
}

DWORD processExitCode(DWORD processId) {
  auto found = processState().others.find(processId);
  if (found != processState().others.end()) return found->second.ended ? found->second.exitCode : STILL_ACTIVE;
  auto started = processState().startedEnded.find(processId);
  return started != processState().startedEnded.end() ? started->second : STILL_ACTIVE;
}

void endStartedProcessesWhenWaitedFor(DWORD exitCode) {
  processState().startedEndWhenWaitedFor = true;
  processState().startedExitCode = exitCode;
}

const std::vector<StartedProcess>& startedProcesses() { return processState().started; }

int openProcessHandleCount() { return static_cast<int>(processState().handles.size()); }

bool closeProcessHandle(HANDLE handle) { return processState().handles.erase(handle) != 0; }

void holdMutex(const std::string& name, bool accessible) { processState().otherMutexes[name] = accessible; }

void endProgram() { processState().ownMutexes.clear(); }

}  // namespace sim

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  if (module != nullptr) {
    machine().lastError = ERROR_MOD_NOT_FOUND;
    return 0;
  }
  const std::string& path = processState().programPath;
  if (size == 0) {
    machine().lastError = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  // Too small a buffer gets as much as fits with a terminator, and the
  // result is the buffer's size (Windows XP leaves the terminator out).
  if (path.size() >= size) {
    memcpy(fileName, path.data(), size - 1);
    fileName[size - 1] = '\0';
    machine().lastError = ERROR_INSUFFICIENT_BUFFER;
    return size;
  }
  memcpy(fileName, path.c_str(), path.size() + 1);
  machine().lastError = ERROR_SUCCESS;
  return static_cast<DWORD>(path.size());
}

DWORD WINAPI GetCurrentProcessId(void) { return processState().processId; }

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
  std::string path = processState().tempFolder;
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  if (path.size() + 1 > size) return static_cast<DWORD>(path.size() + 1);
  memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR currentDirectory,
                           LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION processInformation) {
  if (startupInfo == nullptr || processInformation == nullptr) return fail(ERROR_INVALID_PARAMETER);
  // The sim starts programs named in full only; a search along the path is
  // nothing the program asks for.
  if (applicationName == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (!sim::fileExists(applicationName)) return fail(sim::folderExists(applicationName) ? ERROR_ACCESS_DENIED
                                                                                        : ERROR_FILE_NOT_FOUND);
  if (currentDirectory != nullptr && !sim::folderExists(currentDirectory)) return fail(ERROR_DIRECTORY);
  DWORD id = processState().nextProcessId;
  processState().nextProcessId += 4;
  processState().started.push_back(sim::StartedProcess{applicationName, commandLine != nullptr ? commandLine : "",
                                                       currentDirectory != nullptr ? currentDirectory : "", id});
  processInformation->hProcess = newHandle(id, false);
  processInformation->hThread = newHandle(id, true);
  processInformation->dwProcessId = id;
  processInformation->dwThreadId = id + 1;
  return TRUE;
}

HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD processId) {
  // An ended process whose handles are all closed is gone, and its id names
  // nothing.
  auto found = processState().others.find(processId);
  if (found == processState().others.end() || found->second.ended) {
    machine().lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  return newHandle(processId, false);
}

DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  auto found = processState().handles.find(object);
  if (found == processState().handles.end()) {
    machine().lastError = ERROR_INVALID_HANDLE;
    return WAIT_FAILED;
  }
  ProcessState& state = processState();
  DWORD processId = found->second->processId;
  auto other = state.others.find(processId);
  if (other != state.others.end() && (other->second.ended || other->second.endsWhenWaitedFor)) {
    if (!other->second.ended) {
      other->second.ended = true;
      if (other->second.atEnd) other->second.atEnd();
    }
    return WAIT_OBJECT_0;
  }
  if (state.startedEnded.count(processId) != 0) return WAIT_OBJECT_0;
  if (other == state.others.end() && state.startedEndWhenWaitedFor) {
    state.startedEnded[processId] = state.startedExitCode;
    return WAIT_OBJECT_0;
  }
  // Started programs never run in the sim, and neither does a process that
  // the test keeps alive: waiting for them only times out.
  if (milliseconds == INFINITE) {
    sim::writeToStderr("[sim] the program waits forever for a process that does not end\n");
    abort();
  }
  return WAIT_TIMEOUT;
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode) {
  auto found = processState().handles.find(process);
  if (found == processState().handles.end() || found->second->isThread) return fail(ERROR_INVALID_HANDLE);
  DWORD processId = found->second->processId;
  auto other = processState().others.find(processId);
  if (other == processState().others.end()) {
    processState().startedEnded.emplace(processId, exitCode);
    return TRUE;
  }
  // A process that has ended already keeps the code it ended with.
  if (!other->second.ended) {
    other->second.ended = true;
    other->second.exitCode = exitCode;
    if (other->second.atEnd) other->second.atEnd();
  }
  return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  auto found = processState().handles.find(process);
  if (found == processState().handles.end() || found->second->isThread || exitCode == nullptr)
    return fail(ERROR_INVALID_HANDLE);
  *exitCode = sim::processExitCode(found->second->processId);
  return TRUE;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
  ProcessState& state = processState();
  std::string wanted = name == nullptr ? "" : name;
  // Windows 95 to ME have no namespaces and no backslash in a name.
  if (sim::windowsFamily() == sim::WindowsFamily::Win9x && wanted.find('\\') != std::string::npos) {
    machine().lastError = ERROR_INVALID_NAME;
    return nullptr;
  }
  auto other = state.otherMutexes.find(wanted);
  if (other != state.otherMutexes.end() && !other->second) {
    machine().lastError = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  bool exists = other != state.otherMutexes.end() || state.ownMutexes.count(wanted) != 0;
  int handles = ++state.ownMutexes[wanted];
  machine().lastError = exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  // Any value that is not null stands for the handle; nothing closes it.
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5000 + 4 * handles));
}

// The libraries of the simulated machine: kernel32, in the process from its
// start, and comctl32, which the program loads from the system folder; the
// calls that steer where Windows looks for a library named without a folder.
//
// Libraries are names, not files: the system folder holds no comctl32.dll on
// the host, and a file a test puts anywhere is never taken for a library.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "sim/machine.h"
#include "sim/windows.h"

using sim::machine;

namespace {

SimModule kernel32;
SimModule advapi32;
SimModule comctl32;

struct Library {
  const char* name;
  SimModule* module;
  bool inProcessFromStart;
};

const Library kLibraries[] = {
    {"kernel32.dll", &kernel32, true},
    {"advapi32.dll", &advapi32, true},
    {"comctl32.dll", &comctl32, false},
};

const WORD kInitCommonControlsOrdinal = 17;

// The flags SetDefaultDllDirectories accepts, alone or together.
const DWORD kSearchFlags = 0x00000100 /* LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR */ |
                           0x00000200 /* LOAD_LIBRARY_SEARCH_APPLICATION_DIR */ |
                           0x00000400 /* LOAD_LIBRARY_SEARCH_USER_DIRS */ |
                           0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */ |
                           0x00001000 /* LOAD_LIBRARY_SEARCH_DEFAULT_DIRS */;

struct LibraryState {
  std::map<const SimModule*, int> loadCounts;
  std::set<std::string> removed;  // lower case
  bool kernelHasIsDebuggerPresent = true;
  std::optional<bool> kernelHasSetDefaultDllDirectories;
  std::optional<bool> kernelHasSetDllDirectory;
  std::optional<bool> advapiHasSecurityDescriptorTexts;
  bool wow64 = false;
  DWORD defaultDllDirectories = 0;
  std::optional<std::string> dllDirectory;
  std::vector<std::string> calls;
  std::function<void()> restrictionWatcher;
};

LibraryState& libraryState() {
  static LibraryState state;
  return state;
}

sim::ResetHook clearLibraries([] { libraryState() = LibraryState(); });

std::string lowerCase(std::string text) {
  for (char& ch : text)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return text;
}

void journal(const std::string& call) { libraryState().calls.push_back(call); }

// The libraries are the system's own: only the system folder, or a bare name,
// reaches them. A bare name without an extension means a .dll, as Windows
// reads it.
const Library* libraryNamed(const std::string& fileName) {
  size_t separator = fileName.find_last_of("\\/");
  std::string name = separator == std::string::npos ? fileName : fileName.substr(separator + 1);
  if (separator != std::string::npos && lowerCase(fileName.substr(0, separator)) != lowerCase(sim::systemFolder()))
    return nullptr;
  if (separator == std::string::npos && name.find('.') == std::string::npos) name += ".dll";
  for (const Library& library : kLibraries)
    if (lowerCase(name) == library.name && libraryState().removed.count(library.name) == 0) return &library;
  return nullptr;
}

const Library* libraryOf(HMODULE module) {
  for (const Library& library : kLibraries)
    if (library.module == module && (library.inProcessFromStart || libraryState().loadCounts[module] > 0))
      return &library;
  return nullptr;
}

bool offered(const std::optional<bool>& choice) {
  return choice.value_or(sim::windowsFamily() == sim::WindowsFamily::NT);
}

BOOL WINAPI simIsDebuggerPresent(void) { return machine().debuggerAttached ? TRUE : FALSE; }

BOOL WINAPI simSetDefaultDllDirectories(DWORD flags) {
  char text[64];
  snprintf(text, sizeof text, "SetDefaultDllDirectories 0x%08X", static_cast<unsigned>(flags));
  journal(text);
  if (flags == 0 || (flags & ~kSearchFlags) != 0) {
    machine().lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  libraryState().defaultDllDirectories = flags;
  if (libraryState().restrictionWatcher) libraryState().restrictionWatcher();
  return TRUE;
}

BOOL WINAPI simSetDllDirectoryA(LPCSTR pathName) {
  journal(pathName == nullptr ? "SetDllDirectoryA null" : "SetDllDirectoryA \"" + std::string(pathName) + "\"");
  // Null puts the standard search back, current folder included.
  if (pathName == nullptr)
    libraryState().dllDirectory.reset();
  else
    libraryState().dllDirectory = pathName;
  if (pathName != nullptr && libraryState().restrictionWatcher) libraryState().restrictionWatcher();
  return TRUE;
}

BOOL WINAPI simIsWow64Process(HANDLE process, BOOL* wow64) {
  if (process != GetCurrentProcess() || wow64 == nullptr) {
    machine().lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  *wow64 = libraryState().wow64 ? TRUE : FALSE;
  return TRUE;
}

UINT WINAPI simGetSystemWow64DirectoryA(LPSTR buffer, UINT size) {
  std::string folder = sim::wow64SystemFolder();
  if (folder.size() >= size) return static_cast<UINT>(folder.size() + 1);
  strcpy(buffer, folder.c_str());
  return static_cast<UINT>(folder.size());
}

void WINAPI simInitCommonControls(void) {
  journal("InitCommonControls");
  sim::registerCommonControls();
}

template <typename Function>
FARPROC exported(Function* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

FARPROC kernelExport(const char* name) {
  LibraryState& state = libraryState();
  if (strcmp(name, "IsDebuggerPresent") == 0 && state.kernelHasIsDebuggerPresent) return exported(&simIsDebuggerPresent);
  if (strcmp(name, "SetDefaultDllDirectories") == 0 && offered(state.kernelHasSetDefaultDllDirectories))
    return exported(&simSetDefaultDllDirectories);
  if (strcmp(name, "SetDllDirectoryA") == 0 && offered(state.kernelHasSetDllDirectory))
    return exported(&simSetDllDirectoryA);
  if (strcmp(name, "IsWow64Process") == 0 && state.wow64) return exported(&simIsWow64Process);
  if (strcmp(name, "GetSystemWow64DirectoryA") == 0 && state.wow64) return exported(&simGetSystemWow64DirectoryA);
  return nullptr;
}

}  // namespace

namespace sim {

void setKernelHasIsDebuggerPresent(bool present) { libraryState().kernelHasIsDebuggerPresent = present; }

void setWow64(bool wow64) { libraryState().wow64 = wow64; }

std::string wow64SystemFolder() { return windowsFolder() + "\\SysWOW64"; }

int loadedLibraryCount() {
  int count = 0;
  for (const auto& entry : libraryState().loadCounts) count += entry.second;
  return count;
}

void removeSystemLibrary(const std::string& name) { libraryState().removed.insert(lowerCase(name)); }

void setAdvapiHasSecurityDescriptorTexts(bool present) { libraryState().advapiHasSecurityDescriptorTexts = present; }

void setKernelLibrarySearchCalls(bool setDefaultDllDirectories, bool setDllDirectory) {
  libraryState().kernelHasSetDefaultDllDirectories = setDefaultDllDirectories;
  libraryState().kernelHasSetDllDirectory = setDllDirectory;
}

DWORD defaultDllDirectories() { return libraryState().defaultDllDirectories; }

bool dllDirectory(std::string* folder) {
  if (!libraryState().dllDirectory) return false;
  *folder = *libraryState().dllDirectory;
  return true;
}

const std::vector<std::string>& libraryCalls() { return libraryState().calls; }

void onLibrarySearchRestricted(std::function<void()> watcher) { libraryState().restrictionWatcher = std::move(watcher); }

}  // namespace sim

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
  journal("GetModuleHandleA " + std::string(moduleName == nullptr ? "null" : moduleName));
  if (moduleName == nullptr) return sim::programModule();
  // Only a module in the process is found; nothing is loaded.
  const Library* library = libraryNamed(moduleName);
  if (library != nullptr && libraryOf(library->module) != nullptr) return library->module;
  machine().lastError = ERROR_MOD_NOT_FOUND;
  return nullptr;
}

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
  journal("LoadLibraryA " + std::string(fileName == nullptr ? "null" : fileName));
  const Library* library = fileName == nullptr ? nullptr : libraryNamed(fileName);
  if (library == nullptr) {
    machine().lastError = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  ++libraryState().loadCounts[library->module];
  return library->module;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
  const Library* library = libraryOf(module);
  std::string wanted = IS_INTRESOURCE(procName) ? "#" + std::to_string(LOWORD(procName)) : std::string(procName);
  journal("GetProcAddress " + std::string(library == nullptr ? "?" : library->name) + " " + wanted);
  FARPROC found = nullptr;
  if (library != nullptr && library->module == &kernel32 && !IS_INTRESOURCE(procName)) found = kernelExport(procName);
  // comctl32 exports its initialisation by ordinal and, since 4.70, by name.
  if (library != nullptr && library->module == &comctl32 &&
      (wanted == "#" + std::to_string(kInitCommonControlsOrdinal) || wanted == "InitCommonControls"))
    found = exported(&simInitCommonControls);
  if (library != nullptr && library->module == &advapi32 && wanted == "ConvertStringSecurityDescriptorToSecurityDescriptorA" &&
      offered(libraryState().advapiHasSecurityDescriptorTexts))
    found = exported(&simConvertStringSecurityDescriptorToSecurityDescriptorA);
  if (found == nullptr) machine().lastError = library == nullptr ? ERROR_MOD_NOT_FOUND : ERROR_PROC_NOT_FOUND;
  return found;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  int& count = libraryState().loadCounts[module];
  if (count == 0) {
    machine().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  --count;
  return TRUE;
}

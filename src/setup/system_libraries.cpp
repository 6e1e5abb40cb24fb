#include "setup/system_libraries.h"

#include "base/exported_function.h"
#include "base/paths.h"
#include "platform/win32.h"
#include "base/fatal.h"

namespace {

constexpr char kKernelName[] = "kernel32.dll";
constexpr char kCommonControlsName[] = "comctl32.dll";

// Every comctl32 since Windows 95 exports its initialisation under this
// ordinal; the name came later, so the ordinal is what all of them share.
constexpr WORD kInitCommonControlsOrdinal = 17;

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD directoryFlags);
typedef BOOL(WINAPI* SetDllDirectoryFunction)(LPCSTR pathName);
typedef void(WINAPI* InitCommonControlsFunction)(void);

}  // namespace

void restrictLibrarySearch() {
  // kernel32 is in every process from its first instruction: asking for its
  // handle loads nothing and searches nowhere.
  HMODULE kernel = GetModuleHandleA(kKernelName);
  ENSURE(kernel != nullptr);

  // Windows 8, and 7 or Vista with their loader update: only the system
  // folder is searched from here on, for the program and for every library
  // that loads another by name on its behalf (the shell, COM, the dialogs).
  SetDefaultDllDirectoriesFunction setDefaultDllDirectories =
      exportedFunction<SetDefaultDllDirectoriesFunction>(kernel, "SetDefaultDllDirectories");
  if (setDefaultDllDirectories != nullptr && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;

  // Windows XP SP1 to 7 without the update: the program's own folder stays
  // in the search, but the current folder (which a shortcut or another
  // program chooses) leaves it.
  SetDllDirectoryFunction setDllDirectory = exportedFunction<SetDllDirectoryFunction>(kernel, "SetDllDirectoryA");
  if (setDllDirectory != nullptr) setDllDirectory("");
}

void loadCommonControls() {
  char path[kPathBufferSize];
  UINT length = GetSystemDirectoryA(path, sizeof path);
  // A system folder too long to name the library in it exists on no sound
  // Windows; a shortened path could name some other file.
  ENSURE(length != 0 && length < sizeof path && joinPath(path, kCommonControlsName));
  HMODULE commonControls = LoadLibraryA(path);
  ENSURE(commonControls != nullptr);
  InitCommonControlsFunction initCommonControls =
      exportedFunction<InitCommonControlsFunction>(commonControls, MAKEINTRESOURCEA(kInitCommonControlsOrdinal));
  ENSURE(initCommonControls != nullptr);
  initCommonControls();
  // Never freed: the progress bar class lives in the library.
}

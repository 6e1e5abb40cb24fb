// A library with the name of a system one, as someone might leave it in a
// downloads folder beside an installer. Whatever loads it ends at once: it
// leaves C:\planted-dll-loaded.txt naming the file it was loaded from, then
// ends the process with exit code 86, before the program can do anything
// more. The setup_planted_dll scenario puts copies of it beside setup.exe
// under the names Windows would look for there.
#include <windows.h>

namespace {

const char kMarker[] = "C:\\planted-dll-loaded.txt";
// Not a code the programs under test ever end with.
const UINT kPlantedExitCode = 86;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char path[MAX_PATH] = "";
  GetModuleFileNameA(instance, path, sizeof path);
  HANDLE marker = CreateFileA(kMarker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(marker, path, lstrlenA(path), &written, nullptr);
    CloseHandle(marker);
  }
  // Not ExitProcess: nothing of the program, not even its exit handlers,
  // runs after this.
  TerminateProcess(GetCurrentProcess(), kPlantedExitCode);
  return FALSE;
}

// The common controls' initialisation (ordinal 17 in planted_dll.def), so
// that a program importing it from comctl32.dll gets as far as DllMain: the
// loader resolves every import before it runs any library's DllMain. No
// arguments, so the calling conventions agree.
extern "C" void InitCommonControls(void) {}

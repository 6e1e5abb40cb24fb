// The entry point of the shipped programs on real Windows, in place of the
// compiler runtime's (crt2.o). That one is built for the Pentium Pro (it
// skips the program's name in the command line with conditional moves, which
// a 486 or a Pentium does not have) and sets up what these programs never
// use: threads' local storage, C++ exception tables, imported data fixed up
// at run time, argc and argv. This one does what they need, in the same
// order.
#include "platform/win32.h"

extern "C" {
// Runs the static constructors, and registers the destructors with atexit
// (the runtime's own, in libmingw32; GCC calls it from main, which these
// programs do not have).
void __main(void);
// msvcrt.dll: whether runtime errors are shown in a window or on a console.
void __set_app_type(int type);
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);
int WinMainCRTStartup(void);

// The static constructors register the destructors here. The import library
// has msvcrt.dll's atexit as data only (the runtime's entry point object
// brought the function), so it is made here on _onexit, as that object does:
// exit runs the list, newest first.
int atexit(void (*function)(void)) { return _onexit(reinterpret_cast<_onexit_t>(function)) != nullptr ? 0 : -1; }
}

namespace {

const int kGuiApplication = 2;

// The command line after the program's name, which may be quoted and
// contain spaces, and the blanks that follow it.
LPSTR commandTail(LPSTR line) {
  bool quoted = false;
  while (*line != '\0' && (quoted || static_cast<unsigned char>(*line) > ' ')) {
    if (*line == '"') quoted = !quoted;
    ++line;
  }
  while (*line != '\0' && static_cast<unsigned char>(*line) <= ' ') ++line;
  return line;
}

}  // namespace

int WinMainCRTStartup(void) {
  __set_app_type(kGuiApplication);
  // The x87 unit in its power-on state, 64-bit precision, as the compiler
  // runtime leaves it: what the title picture's arithmetic was made with.
  __asm__ volatile("fninit");
  __main();
  STARTUPINFOA startup;
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
  // exit runs what atexit holds (the static destructors) and closes the
  // streams, as the runtime's entry point did on the way out.
  exit(WinMain(GetModuleHandleA(nullptr), nullptr, commandTail(GetCommandLineA()), show));
}

// The entry point of _vmunins.exe.
#include "platform/win32.h"
#include "base/context.h"
#include "uninstall/uninstaller.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  setupContext.mainThreadId = GetCurrentThreadId();
  setupContext.instance = instance;
  return runUninstaller(commandLine);
}

// The entry point of _vmunins.exe.
#include <cstdio>

#include "platform/win32.h"
#include "setup/context.h"
#include "uninstall/uninstaller.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  setupContext.mainThreadId = GetCurrentThreadId();
  setupContext.instance = instance;
  // The restart's own messages carry the program's caption.
  snprintf(setupContext.caption, sizeof setupContext.caption, "%s", kUninstallCaption);
  return runUninstaller(commandLine);
}

// The entry point of setup.exe.
#include "platform/win32.h"
#include "setup/context.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Recorded before anything else: the drawing-object guards compare every
  // caller against it.
  setupContext.mainThreadId = GetCurrentThreadId();
  setupContext.instance = instance;
  return 0;
}

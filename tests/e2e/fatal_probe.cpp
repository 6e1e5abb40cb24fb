// A Windows program whose only work is a failing check, so that the real
// internal-error box can be driven under Wine.
#include "platform/win32.h"
#include "base/context.h"
#include "base/fatal.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  setupContext.mainThreadId = GetCurrentThreadId();
  setupContext.instance = instance;
  ENSURE(instance == nullptr);
  return 0;
}

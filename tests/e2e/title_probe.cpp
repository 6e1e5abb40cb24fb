// A Windows program that puts up the title window the way the entry point
// does, shows one message box owned by it, and closes it again, so that the
// real window can be looked at under Wine.
#include <cstdio>
#include <cstring>

#include "platform/win32.h"
#include "base/context.h"
#include "title/title_window.h"

namespace {

constexpr char kCaptionFormat[] = "Velk Modular %s Install";
constexpr char kProbeText[] = "The title window is up.";

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  setupContext.mainThreadId = GetCurrentThreadId();
  setupContext.instance = instance;
  char build[8];
  snprintf(setupContext.versionText, sizeof setupContext.versionText, "%d.%02d", 2, 8);
  snprintf(build, sizeof build, ".%03d", 4);
  strcat(setupContext.versionText, build);
  snprintf(setupContext.caption, sizeof setupContext.caption, kCaptionFormat, setupContext.versionText);

  createTitleWindow();
  MessageBoxA(setupContext.titleWindow, kProbeText, setupContext.caption, MB_OK);
  destroyTitleWindow();
  return 0;
}

#include "uninstall/restart_offer.h"

#include <cstdio>
#include <cstring>

#include "platform/win32.h"
#include "uninstall/uninstaller.h"

namespace {

const char kRestartNeededText[] =
    "Some files are in use and will be removed when you restart Windows.";

}  // namespace

void offerRestart(char* text, size_t size) {
  size_t used = strlen(text);
  snprintf(text + used, size - used, "\n\n%s", kRestartNeededText);
  MessageBoxA(nullptr, text, kUninstallCaption, MB_OK | MB_ICONINFORMATION);
}

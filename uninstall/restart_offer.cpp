#include "uninstall/restart_offer.h"

#include <cstdio>
#include <cstring>

#include "base/message_box.h"
#include "platform/win32.h"
#include "uninstall/uninstaller.h"

namespace {

const char kRestartNeededText[] = "Some files are in use and will be removed when you restart Windows.";
const char kRestartQuestion[] = "Do you want to restart Windows now?";

}  // namespace

bool offerRestart(char* text, size_t size) {
  size_t used = strlen(text);
  formatText(text + used, size - used, "\n\n%s\n\n%s", kRestartNeededText, kRestartQuestion);
  return showMessage(nullptr, text, kUninstallCaption, MB_YESNO | MB_ICONQUESTION, IDNO) == IDYES;
}

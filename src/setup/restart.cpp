#include "setup/restart.h"

#include "pages/dialog_frame.h"
#include "pages/notices.h"
#include "platform/win32.h"
#include "res/resource.h"
#include "base/context.h"
#include "base/message_box.h"
#include "base/run_log.h"
#include "base/windows_version.h"

namespace {

constexpr char kManualRestartMessage[] =
    "Failed to automatically reboot the system.\nPlease use Start->ShutDown to reboot manually";

// A process on Windows NT holds the shutdown privilege disabled; it must be
// enabled before ExitWindowsEx will restart. Nothing here is checked beyond
// the steps that make the next ones possible: a privilege the user lacks
// makes the restart request itself fail, and that is what the user hears of.
void enableShutdownPrivilege() {
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) return;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return;
  AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  CloseHandle(token);
}

}  // namespace

// Only Restart Now restarts: a question that could not be shown (0 or -1)
// was never answered.
bool askRestart() {
  bool restart = runModalDialog(DLG_ASK_RESTART, noticeDialogProc) == kPageNext;
  logLine("Restart question: %s", restart ? "Restart Now" : "Don't Restart");
  return restart;
}

void restartWindows() {
  if (isWindowsNT()) enableShutdownPrivilege();
  if (!ExitWindowsEx(EWX_REBOOT, 0))
    showMessage(nullptr, kManualRestartMessage, setupContext.caption, MB_OK);
}

#include "pages/installing_page.h"

#include "install/installation.h"
#include "pages/dialog_frame.h"
#include "extract/progress.h"
#include "res/resource.h"
#include "base/context.h"
#include "base/exit_codes.h"
#include "base/fatal.h"
#include "base/message_box.h"

namespace {

constexpr char kCancelQuestion[] =
    "The Velk Modular setup is not complete.\nAre you sure you want to cancel the setup process?";

// The line a dialog that cannot be made is reported with.
constexpr int32_t kNoInstallingDialogLine = 1044;

constexpr int32_t kBarLow = 0;
constexpr int32_t kBarHigh = 100;

}  // namespace

int32_t runInstallingPage() {
  cancelRequested = 0;
  lastPercent = 0;
  installingDialog = CreateDialogParamA(setupContext.instance, DLG_INSTALLING, setupContext.titleWindow,
                                        installingDialogProc, 0);
  if (installingDialog == nullptr) fatalInternalError(kFatalFileNumber, kNoInstallingDialogLine);
  ShowWindow(installingDialog, SW_SHOW);
  // Painted before the work starts.
  pumpInstallingMessages();
  int32_t result = runInstallation();
  ShowWindow(installingDialog, SW_HIDE);
  DestroyWindow(installingDialog);
  // A confirmed cancel wins over whatever the interrupted entry reported.
  if (cancelRequested != 0) {
    runFailure = kExitCancelled;
    return kInstallCancelled;
  }
  if (result == kInstallationDone) return kInstallCompleted;
  return result == kInstallationCorrupt ? kInstallCorrupt : kInstallFailed;
}

INT_PTR CALLBACK installingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
      if (bar != nullptr) {
        SendMessageA(bar, PBM_SETPOS, 0, 0);
        SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(kBarLow, kBarHigh));
      }
      cancelRequested = 0;
      SetWindowTextA(dialog, setupContext.caption);
      centerOnScreen(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      // "Cancel" is the default button, so Enter asks as well as Esc.
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      if (showMessage(dialog, kCancelQuestion, setupContext.caption, MB_YESNO, IDNO) == IDYES) cancelRequested = 1;
      return TRUE;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      return paintOnButtonFace(wParam);
    default:
      return FALSE;
  }
}

#include "pages/dialog_frame.h"

#include "res/resource.h"
#include "base/context.h"
#include "base/fatal.h"
#include "base/message_box.h"

namespace {

constexpr char kLeaveQuestion[] = "The Velk Modular setup is not complete.\nAre you sure you want to leave?";

// The line a negative page result is reported with, whatever line of this
// file makes the check.
constexpr int32_t kNegativePageResultLine = 44;

}  // namespace

INT_PTR CALLBACK commonDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowTextA(dialog, setupContext.caption);
      centerOnScreen(dialog);
      // The system then focuses the first tab stop.
      return TRUE;
    case WM_COMMAND:
      // Only the id counts: a notification code from a button or a key
      // ends the page alike.
      switch (LOWORD(wParam)) {
        case kPageNext:
          endPage(dialog, kPageNext);
          return TRUE;
        case kPageBack:
          endPage(dialog, kPageBack);
          return TRUE;
        case kPageLeave:
          // No keeps the page open as it was.
          if (confirmLeave(dialog)) endPage(dialog, kPageLeave);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      // A read-only edit field asks with WM_CTLCOLORSTATIC too, so the
      // licence text also stands on the button face.
      return paintOnButtonFace(wParam);
    default:
      return FALSE;
  }
}

void centerOnScreen(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  // Integer division truncates toward zero, so a dialog larger than the
  // screen sticks out by the same amount on both sides.
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(window, HWND_TOP, x, y, width, height, SWP_NOACTIVATE);
}

void endPage(HWND dialog, int32_t result) {
  if (result < 0) fatalInternalError(kFatalFileNumber, kNegativePageResultLine);
  EndDialog(dialog, result);
}

bool confirmLeave(HWND dialog) {
  return showMessage(dialog, kLeaveQuestion, setupContext.caption, MB_YESNO, IDNO) == IDYES;
}

INT_PTR paintOnButtonFace(WPARAM dc) {
  SetBkColor(reinterpret_cast<HDC>(dc), GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

INT_PTR runModalDialog(const char* templateName, DLGPROC procedure) {
  return DialogBoxParamA(setupContext.instance, templateName, setupContext.titleWindow, procedure, 0);
}

INT_PTR runWizardPage(const char* templateName, DLGPROC procedure) {
  INT_PTR result = runModalDialog(templateName, procedure);
  ENSURE(result == kPageNext || result == kPageBack || result == kPageLeave);
  return result;
}

#include "pages/notices.h"

#include "pages/dialog_frame.h"

INT_PTR CALLBACK noticeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == kPageLeave) {
    // Nothing is left to confirm: the notice only says what will happen.
    endPage(dialog, kPageLeave);
    return TRUE;
  }
  return commonDialogProc(dialog, message, wParam, lParam);
}

INT_PTR CALLBACK needAdminDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return commonDialogProc(dialog, message, wParam, lParam);
}

INT_PTR CALLBACK initSetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      centerOnScreen(dialog);
      return TRUE;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      return paintOnButtonFace(wParam);
    default:
      return FALSE;
  }
}

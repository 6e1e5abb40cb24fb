#include "pages/welcome_page.h"

#include "pages/dialog_frame.h"

INT_PTR CALLBACK welcomeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return commonDialogProc(dialog, message, wParam, lParam);
}

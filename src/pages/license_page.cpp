#include "pages/license_page.h"

#include "pages/dialog_frame.h"
#include "extract/extraction.h"
#include "res/resource.h"
#include "base/context.h"
#include "base/fatal.h"

namespace {

// The licence travels as the one file of this payload entry.
constexpr int32_t kLicenseEntry = 1002;

}  // namespace

INT_PTR CALLBACK licenseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_INITDIALOG) return commonDialogProc(dialog, message, wParam, lParam);
  char* text = extractToMemory(kLicenseEntry, setupContext.titleWindow);
  if (text == nullptr) {
    // The user has just been told why; there is nothing left to confirm.
    endPage(dialog, kPageLeave);
    return FALSE;
  }
  SetDlgItemTextA(dialog, IDC_LICENSE_TEXT, text);
  freeBlock(text);
  commonDialogProc(dialog, WM_INITDIALOG, wParam, lParam);
  // The reader starts in the text; Enter there refuses, as the default button does.
  SetFocus(GetDlgItem(dialog, IDC_LICENSE_TEXT));
  return FALSE;
}

// What every dialog of the program shares: the caption, the place in the
// middle of the screen, the button-face background, the result codes of the
// standard buttons, and the question before the user leaves the setup.
#ifndef VM_PAGES_DIALOG_FRAME_H
#define VM_PAGES_DIALOG_FRAME_H

#include <cstdint>

#include "platform/win32.h"

// A modal page ends with the id of the button that ended it.
constexpr int32_t kPageNext = 1;     // IDOK: "&Next >", "&Proceed", "I &Accept", "&Start >", ...
constexpr int32_t kPageLeave = 2;    // IDCANCEL: "E&xit Setup", Esc, the close box; confirmed
constexpr int32_t kPageBack = 1000;  // "< &Back"

// Sets the setup caption, centres the dialog, paints on the button face,
// ends the dialog with the standard buttons and asks before leaving. Page
// procedures hand it every message they do not handle themselves.
INT_PTR CALLBACK commonDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Centres a window on the whole primary screen (a task bar does not count).
void centerOnScreen(HWND window);

// EndDialog with the page's result. A negative result is an internal error.
void endPage(HWND dialog, int32_t result);

// The leave question; true when the user answers Yes.
bool confirmLeave(HWND dialog);

// The answer to WM_CTLCOLORBTN, WM_CTLCOLORDLG and WM_CTLCOLORSTATIC: the
// button-face colour behind the text of `dc`, and its brush.
INT_PTR paintOnButtonFace(WPARAM dc);

// Runs a modal dialog from the program's template, owned by the title
// window, and returns its result (-1 when it could not be created).
INT_PTR runModalDialog(const char* templateName, DLGPROC procedure);

// A page of the wizard or of its checks, as runModalDialog. Its result is
// one of kPageNext, kPageBack and kPageLeave: a page that could not be shown
// (DialogBoxParamA gives 0 or -1) or that ended otherwise is a broken
// program, not the user's choice, and ends in the internal error.
INT_PTR runWizardPage(const char* templateName, DLGPROC procedure);

#endif  // VM_PAGES_DIALOG_FRAME_H

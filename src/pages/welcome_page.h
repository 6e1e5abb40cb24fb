// The Welcome page: a greeting, "&Proceed" and "E&xit Setup".
#ifndef VM_PAGES_WELCOME_PAGE_H
#define VM_PAGES_WELCOME_PAGE_H

#include "platform/win32.h"

// Everything the page does is the common frame's.
INT_PTR CALLBACK welcomeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif  // VM_PAGES_WELCOME_PAGE_H

// The License page: the licence text, decoded from its payload entry on
// every visit, to accept, go back from or refuse.
#ifndef VM_PAGES_LICENSE_PAGE_H
#define VM_PAGES_LICENSE_PAGE_H

#include "platform/win32.h"

// When the licence cannot be decoded the page ends with 2 at once, without
// the leave question: the user has been told why.
INT_PTR CALLBACK licenseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif  // VM_PAGES_LICENSE_PAGE_H

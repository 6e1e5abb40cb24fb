// The AboutToInstall page: which components will be installed, and where.
#ifndef VM_PAGES_SUMMARY_PAGE_H
#define VM_PAGES_SUMMARY_PAGE_H

#include "platform/win32.h"

INT_PTR CALLBACK aboutToInstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif  // VM_PAGES_SUMMARY_PAGE_H

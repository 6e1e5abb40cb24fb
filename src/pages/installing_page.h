// The Installing page: the modeless dialog with the file being copied, the
// progress bar and "Cancel", up while the installation runs.
#ifndef VM_PAGES_INSTALLING_PAGE_H
#define VM_PAGES_INSTALLING_PAGE_H

#include <cstdint>

#include "platform/win32.h"

// What the Installing step ended with.
constexpr int32_t kInstallCompleted = 0;
constexpr int32_t kInstallCancelled = 1;  // the user confirmed the cancel question
constexpr int32_t kInstallCorrupt = 2;    // the setup file is corrupt; already said and rolled back
constexpr int32_t kInstallFailed = 3;     // its message has been shown

// Shows the dialog, runs the installation and maps its outcome.
int32_t runInstallingPage();

INT_PTR CALLBACK installingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif  // VM_PAGES_INSTALLING_PAGE_H

// The Directory page: the target folder, typed or browsed for, with the free
// space of its drive beside the space the selection needs.
#ifndef VM_PAGES_DIRECTORY_PAGE_H
#define VM_PAGES_DIRECTORY_PAGE_H

#include <cstdint>

#include "platform/win32.h"

// The free bytes of the drive the page shows, at most 0x70000000.
extern int32_t freeBytes;
// The drive those figures belong to (0 for A: to 25 for Z:), -1 for a folder
// that names no drive, -2 when they are to be read anew.
extern int32_t shownDrive;

// The most characters the target folder may have, so that the folder, a
// separator and the longest stored file name fit in a path of 259: at least 3.
int32_t folderLimit();

INT_PTR CALLBACK directoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The target folder must be drive-rooted; if not, the user is told so.
bool validateTargetFolder(HWND dialog);

// The page's rules for a folder given on the command line (/D=), for a run
// without the page: drive-rooted, no longer than folderLimit, and room on
// its drive for the selection (requiredBytes, see sumSelection) or the
// page's question answered Yes. Each message goes through showMessage.
// Returns kExitDone, or kExitBadFolder or kExitNotEnoughRoom.
int32_t checkFolderWithoutPage();

// Refreshes the free space shown for the target folder's drive, reading the
// drive only when the drive letter has changed.
void showFreeSpace(HWND dialog);

// The folder browser; a chosen file-system folder becomes the target folder
// with "Velk Modular" added unless it ends with it already. Returns whether a
// file-system path was stored.
bool browseForTargetFolder(HWND owner);

#endif  // VM_PAGES_DIRECTORY_PAGE_H

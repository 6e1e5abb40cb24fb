// The Customize page: which of the six optional components to install, what
// they take on the disk, and the two sums of the selection the later steps
// use.
#ifndef VM_PAGES_COMPONENTS_PAGE_H
#define VM_PAGES_COMPONENTS_PAGE_H

#include <cstdint>

#include "platform/win32.h"

// The selection's size on the disk: each file rounded up to a cluster. The
// Directory page weighs it against the target drive's free space.
extern int32_t requiredBytes;

INT_PTR CALLBACK customizeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Recomputes requiredBytes and the progress channel's progressTotal (the
// selection's bytes as stored, the Installing page's 100 % mark) from the
// selection flags, and returns the required bytes unsaturated. The support
// entries count only when something else is selected.
int64_t sumSelection();

// sumSelection, then the required size in KiB, formatted with `format`, in
// the static control `controlId`.
void showSelectionSize(HWND dialog, int controlId, const char* format);

// The size, and "&Next >" enabled exactly while something is selected.
void refreshComponentsPage(HWND dialog);

#endif  // VM_PAGES_COMPONENTS_PAGE_H

// Removing one file or folder of the product: at once, or at the next start
// of Windows when something holds it, and the tally of what could not go at
// once.
#ifndef VM_UNINSTALL_REMOVAL_H
#define VM_UNINSTALL_REMOVAL_H

#include <cstdint>

#include "extract/uninstall_list.h"

struct RemovalTally {
  int32_t scheduled = 0;   // items that go at the next start of Windows
  int32_t leftBehind = 0;  // items that could neither go nor be scheduled
  // What was scheduled, so that a folder that holds it is scheduled too.
  UninstallList waiting;
};

// Deletes a file. One that is gone already needs nothing; one that cannot
// be deleted (in use) is scheduled for deletion at the next start.
void removeFile(const char* path, RemovalTally& tally);

// Removes a folder when it is empty. One that still holds something the
// restart will delete is scheduled after it; one that holds anything else
// (what the user made there) stays and is not counted. An empty folder that
// cannot be removed (in use) is scheduled. On Windows 95 to ME, whose
// restart deletes no folders, and for a drive's root, a folder that would be
// scheduled is counted as left behind instead.
void removeFolder(const char* path, RemovalTally& tally);

#endif  // VM_UNINSTALL_REMOVAL_H

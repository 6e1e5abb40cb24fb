// The folders and files the installation recorded in _vmunins.dat.
#ifndef VM_UNINSTALL_RECORDED_ITEMS_H
#define VM_UNINSTALL_RECORDED_ITEMS_H

#include "extract/uninstall_list.h"
#include "uninstall/removal.h"

// Deletes every recorded file, newest first, then removes every recorded
// folder that is empty by then, newest first. The list holds only records
// inside the installation folder `folder` (the loader drops the others);
// none reached through a junction or link below it is touched.
void removeRecordedItems(const UninstallList& records, const char* folder, RemovalTally& tally);

#endif  // VM_UNINSTALL_RECORDED_ITEMS_H

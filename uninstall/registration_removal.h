// The keys and values the setup wrote to make the product known: the entry
// in the list of installed programs, the application path and the product's
// own key.
#ifndef VM_UNINSTALL_REGISTRATION_REMOVAL_H
#define VM_UNINSTALL_REGISTRATION_REMOVAL_H

#include "platform/win32.h"

// Removes each entry only while it still points at `installFolder`: a later
// installation into another folder has taken them over, and they are its
// own. Keys left empty go too. Nothing is reported: what cannot be removed
// (a user without the right to write HKEY_LOCAL_MACHINE) stays.
void removeRegistration(const char* installFolder);

// Deletes the product's key below `root` when it is empty, then the vendor's
// key above it when that is empty too.
void removeEmptyProductKey(HKEY root);

#endif  // VM_UNINSTALL_REGISTRATION_REMOVAL_H

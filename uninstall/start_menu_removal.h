// The product's folder in the current user's Start Menu.
#ifndef VM_UNINSTALL_START_MENU_REMOVAL_H
#define VM_UNINSTALL_START_MENU_REMOVAL_H

#include "uninstall/removal.h"

// Deletes those of the setup's shortcuts, by name, whose target lies in
// `installFolder` (a later installation elsewhere keeps its own), then the
// folder when nothing else is left in it. COM must be initialised.
void removeStartMenuItems(const char* installFolder, RemovalTally& tally);

// The target a saved shell link points at; false when the link cannot be
// read.
bool readShortcutTarget(const char* linkPath, char* target);

#endif  // VM_UNINSTALL_START_MENU_REMOVAL_H

// The wizard: the pages in their fixed order with the checks of the machine
// on the way, up to the installation.
#ifndef VM_SETUP_WIZARD_H
#define VM_SETUP_WIZARD_H

#include <cstdint>

// 1 when the installation completed; 0 when the user left, a check failed,
// the payload was corrupt, or the installation failed or was cancelled while
// a restart is pending.
int32_t runWizard();

#endif  // VM_SETUP_WIZARD_H

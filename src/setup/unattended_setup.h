// The setup without a person at the screen (/S): the wizard's checks and
// choices in the wizard's order, without a window, then the installation.
// The licence counts as accepted: deploying with /S accepts it.
#ifndef VM_SETUP_UNATTENDED_SETUP_H
#define VM_SETUP_UNATTENDED_SETUP_H

#include <cstdint>

// As runSetup: 1 when it installed, 0 when a check, the folder or the
// installation ended it (runFailure says which), -1 when the payload was
// damaged. Every message goes to the log only.
int32_t runUnattendedSetup();

#endif  // VM_SETUP_UNATTENDED_SETUP_H

// The checks of the machine on the way through the wizard: the processor
// before the first page, then, after the Welcome page, free space on the
// Windows drive and (on Windows NT) the rights the pipe driver needs.
#ifndef VM_SETUP_MACHINE_CHECKS_H
#define VM_SETUP_MACHINE_CHECKS_H

#include <cstdint>

// Each returns false when the setup must end, with runFailure set; the user
// has been told why (an unattended run has logged it instead).

// Without a floating-point unit the NoFPU notice ends the setup; without
// conditional moves the user is warned and the setup goes on.
bool checkProcessor();

// The Windows drive must hold the pipe driver and 50 K besides. Checked once
// per run; later calls pass at once.
bool checkSystemDriveSpace();

// On Windows NT: may the user write the two machine keys the pipe driver
// needs? If not, the pipe driver is deselected and disabled for good before
// the NeedAdmin notice lets the user go on without it or leave. An
// unattended run goes on only when the driver was not selected. Checked once
// per run; later calls pass at once.
bool checkAdminRights();

// The one-shot markers of the two checks: non-zero once the check was made.
extern int32_t systemDriveSpaceChecked;
extern int32_t adminRightsChecked;

#endif  // VM_SETUP_MACHINE_CHECKS_H

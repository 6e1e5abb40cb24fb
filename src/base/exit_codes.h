// The exit codes of setup.exe and _vmunins.exe: one table for both programs,
// the same as the README's. A run started without a command line returns 0
// whatever happens (1 after an internal error), as it always has; a run
// started with any switch returns the code of how it ended.
//
// Windows Installer's 3010 says that the work is done but needs a restart;
// the small codes follow Inno Setup where it has one (1 is taken by the
// internal error, 2 is a cancel).
#ifndef VM_BASE_EXIT_CODES_H
#define VM_BASE_EXIT_CODES_H

#include <cstdint>

enum ExitCode : int32_t {
  kExitDone = 0,                // installed, or removed
  kExitInternalError = 1,       // a broken invariant (fatal.h)
  kExitCancelled = 2,           // the user left the wizard, cancelled the copying or answered No
  kExitAlreadyRunning = 3,      // another run of the setup or the uninstaller holds the run lock
  kExitNoRights = 4,            // no right to install the pipe driver, and it was asked for
  kExitBadFolder = 5,           // the target folder breaks the Directory page's rules or cannot be made
  kExitNotEnoughRoom = 6,       // the target drive or the Windows drive lacks the room
  kExitDamaged = 7,             // the setup file's payload, or the uninstall data, is damaged
  kExitStepFailed = 8,          // a file, the uninstall data, a shortcut or the driver could not be written
  kExitNoFloatingPoint = 9,     // the processor has no floating-point unit
  kExitBadCommandLine = 10,     // an unknown switch or component, a switch without its value, no log file
  kExitRestartNeeded = 3010,    // done; what waits for the next start of Windows needs a restart
};

#endif  // VM_BASE_EXIT_CODES_H

// The run from the title window to the restart: the command line, the splash
// while the payload is checked, the starting choices, the wizard (or its
// steps without pages, for /S) and the closing messages.
#ifndef VM_SETUP_SETUP_DRIVER_H
#define VM_SETUP_SETUP_DRIVER_H

#include "platform/win32.h"

// The whole program behind the entry point, with the command line after the
// program's name. Returns the exit code of exit_codes.h, or 0 whatever
// happened for a run started without a switch (1 after an internal error,
// which ends the process itself).
int runSetupProgram(HINSTANCE instance, const char* commandLine);

// setupContext.versionText: 2.08.004.
void buildVersionText();

// Checks the payload (the family's pipe driver first) and settles the
// starting choices: the components and the folder the command line gave,
// else every component and the folder on the Windows drive or the last
// installation's. False when the payload is damaged: the user has been told,
// in a box owned by `owner`, and runFailure says so.
bool settleStartingChoices(HWND owner);

// The splash, the starting choices and the wizard: 1 when it installed, 0
// when not, -1 when the payload was damaged (nothing more is to be said).
// What it decides is left in installOptions.
int32_t runSetup();

// Handles every message waiting in the thread's queue, offering each to the
// splash first, without waiting for more.
void pumpPendingMessages();

#endif  // VM_SETUP_SETUP_DRIVER_H

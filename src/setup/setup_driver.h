// The run from the title window to the restart: the splash while the payload
// is checked, the default choices, the wizard and the closing messages.
#ifndef VM_SETUP_SETUP_DRIVER_H
#define VM_SETUP_SETUP_DRIVER_H

#include "platform/win32.h"

// The whole program behind the entry point; always returns 0.
int runSetupProgram(HINSTANCE instance);

// setupContext.versionText: 2.08.004.
void buildVersionText();

// Everything from the splash to the closing messages; what it decides is
// left in installOptions.
void runSetup();

// Handles every message waiting in the thread's queue, offering each to the
// splash first, without waiting for more.
void pumpPendingMessages();

#endif  // VM_SETUP_SETUP_DRIVER_H

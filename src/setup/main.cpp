// The entry point of setup.exe.
#include "platform/win32.h"
#include "setup/setup_driver.h"

// The command line is not read.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return runSetupProgram(instance); }

// The entry point of setup.exe.
#include "platform/win32.h"
#include "setup/setup_driver.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  return runSetupProgram(instance, commandLine);
}

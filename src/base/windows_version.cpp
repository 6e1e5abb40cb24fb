#include "base/windows_version.h"

#include <cstring>

#include "platform/win32.h"
#include "base/fatal.h"

// Windows 95 knows only the plain record, so that is the one the program asks for.
static_assert(sizeof(OSVERSIONINFOA) == 148, "the plain version record is 148 bytes");

bool isWindowsNT() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  ENSURE(GetVersionExA(&version));
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

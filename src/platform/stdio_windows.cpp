// The standard-I/O helpers of the platform layer on real Windows.
#include "platform/win32.h"

FILE* openWindowsFile(const char* path, const char* mode) { return fopen(path, mode); }

void closeAllFileStreams(void) { _fcloseall(); }

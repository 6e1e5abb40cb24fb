// formatText over the platform's formatTextList: one variadic front for the
// system's C runtime on Windows and the host's under the sim.
#include <cstdarg>

#include "platform/win32.h"

int formatText(char* buffer, size_t size, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int length = formatTextList(buffer, size, format, arguments);
  va_end(arguments);
  return length;
}

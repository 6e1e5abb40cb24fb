#include "base/run_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/context.h"
#include "base/paths.h"
#include "platform/win32.h"

namespace {

FILE* logFile = nullptr;

// Room for a message with two paths in it.
constexpr size_t kLineSize = 4 * kPathBufferSize;

}  // namespace

bool openRunLog(bool append) {
  closeRunLog();
  char full[kPathBufferSize];
  DWORD length = GetFullPathNameA(runSwitches.logPath, sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return false;
  strcpy(runSwitches.logPath, full);
  logFile = openWindowsFile(full, append ? "ab" : "wb");
  return logFile != nullptr;
}

void closeRunLog() {
  if (logFile == nullptr) return;
  fclose(logFile);
  logFile = nullptr;
}

void logLine(const char* format, ...) {
  if (logFile == nullptr) return;
  char text[kLineSize];
  va_list arguments;
  va_start(arguments, format);
  formatTextList(text, sizeof text, format, arguments);
  va_end(arguments);
  for (const char* line = text;;) {
    size_t length = strcspn(line, "\n");
    if (line != text) fputs("  ", logFile);
    fwrite(line, 1, length, logFile);
    fputs("\r\n", logFile);
    if (line[length] == '\0') break;
    line += length + 1;
  }
  // Handed to the system at once: a run that dies keeps its last lines.
  fflush(logFile);
}

#include "base/run_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/context.h"
#include "base/paths.h"
#include "platform/win32.h"

namespace {

constexpr char kNoLogFormat[] = "Cannot write the log file %s";

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

bool startRunLog(const char* commandLine, bool append, char* problem, size_t problemSize) {
  if (runSwitches.logPath[0] == '\0') return true;
  if (!openRunLog(append)) {
    formatText(problem, problemSize, kNoLogFormat, runSwitches.logPath);
    return false;
  }
  logLine("%s", setupContext.caption);
  logLine("Command line: %s", commandLine);
  return true;
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

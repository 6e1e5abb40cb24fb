#include "base/command_line.h"

#include <cstring>

#include "base/context.h"
#include "base/paths.h"
#include "platform/win32.h"

namespace {

constexpr char kUnknownSwitchFormat[] = "Unknown switch: %s";
constexpr char kNothingAfterFormat[] = "Nothing after %s";
constexpr char kTooLongAfterFormat[] = "Too long after %s";

// The hand-over's own switch, matched exactly: the uninstaller writes it.
constexpr char kHandOverSwitch[] = "/original:";

// The longest switch the programs take with its value in quotes, and more.
constexpr size_t kTokenSize = 2 * kPathBufferSize;

bool isBlank(char ch) { return ch == ' ' || ch == '\t'; }

const char* skipBlanks(const char* at) {
  while (isBlank(*at)) ++at;
  return at;
}

// One blank-separated word into `token` without its quotes, which may stand
// anywhere in it and keep blanks inside. Returns where the word ends; a word
// too long for `token` is cut.
const char* readToken(const char* at, char* token) {
  size_t length = 0;
  bool quoted = false;
  for (; *at != '\0' && (quoted || !isBlank(*at)); ++at) {
    if (*at == '"') {
      quoted = !quoted;
    } else if (length + 1 < kTokenSize) {
      token[length++] = *at;
    }
  }
  token[length] = '\0';
  return at;
}

// Whether `token` is the switch `name` (after its slash or hyphen, letters in
// any case), with `=` and a value when `withValue`.
bool isSwitch(const char* token, const char* name, bool withValue) {
  if (token[0] != '/' && token[0] != '-') return false;
  size_t length = strlen(name);
  char written[32];
  size_t nameLength = strcspn(token + 1, "=");
  if (nameLength != length || nameLength >= sizeof written) return false;
  memcpy(written, token + 1, nameLength);
  written[nameLength] = '\0';
  return pathsEqualIgnoringCase(written, name) && (token[1 + nameLength] == '=') == withValue;
}

// The value of `token` into `value` (kPathBufferSize characters); false, with
// the problem, when there is none or it does not fit.
bool takeValue(const char* token, char* value, char* problem, size_t problemSize) {
  const char* text = strchr(token, '=') + 1;
  // The switch as written, up to its equals sign: isSwitch kept it short.
  char written[32];
  size_t writtenLength = static_cast<size_t>(text - token);
  memcpy(written, token, writtenLength);
  written[writtenLength] = '\0';
  if (*text == '\0') {
    formatText(problem, problemSize, kNothingAfterFormat, written);
    return false;
  }
  if (strlen(text) >= kPathBufferSize) {
    formatText(problem, problemSize, kTooLongAfterFormat, written);
    return false;
  }
  strcpy(value, text);
  return true;
}

// /D= takes the rest of the line from `at` (just after the equals sign), as
// NSIS does: a folder may hold blanks without quotes. Blanks at the end go,
// and so do quotes around it.
bool takeFolder(const char* at, bool openedWithQuote, char* problem, size_t problemSize) {
  size_t length = strlen(at);
  while (length > 0 && isBlank(at[length - 1])) --length;
  bool quotedValue = length > 0 && at[0] == '"';
  if (quotedValue) {
    ++at;
    --length;
  }
  if ((openedWithQuote || quotedValue) && length > 0 && at[length - 1] == '"') --length;
  if (length == 0) {
    formatText(problem, problemSize, kNothingAfterFormat, "/D=");
    return false;
  }
  if (length >= sizeof runSwitches.folder) {
    formatText(problem, problemSize, kTooLongAfterFormat, "/D=");
    return false;
  }
  memcpy(runSwitches.folder, at, length);
  runSwitches.folder[length] = '\0';
  return true;
}

}  // namespace

bool readCommandLine(const char* line, CommandLineOf program, const char** handOver, char* problem,
                     size_t problemSize) {
  runSwitches = RunSwitches{};
  if (handOver != nullptr) *handOver = nullptr;
  problem[0] = '\0';
  bool setup = program == CommandLineOf::setup;
  char token[kTokenSize];
  for (const char* at = skipBlanks(line); *at != '\0'; at = skipBlanks(at)) {
    if (!setup && strncmp(at, kHandOverSwitch, sizeof kHandOverSwitch - 1) == 0) {
      if (handOver != nullptr) *handOver = at;
      return true;
    }
    const char* start = at;
    at = readToken(at, token);
    runSwitches.given = 1;
    if (setup && isSwitch(token, "D", true)) {
      // The rest of the line, as it was written.
      const char* value = strchr(start, '=') + 1;
      return takeFolder(value, start[0] == '"', problem, problemSize);
    }
    if (isSwitch(token, "S", false)) {
      runSwitches.unattended = 1;
    } else if (isSwitch(token, "?", false)) {
      runSwitches.help = 1;
    } else if (isSwitch(token, "LOG", true)) {
      if (!takeValue(token, runSwitches.logPath, problem, problemSize)) return false;
    } else if (setup && isSwitch(token, "NORESTART", false)) {
      runSwitches.noRestart = 1;
    } else if (setup && isSwitch(token, "COMPONENTS", true)) {
      if (!takeValue(token, runSwitches.components, problem, problemSize)) return false;
    } else {
      formatText(problem, problemSize, kUnknownSwitchFormat, token);
      return false;
    }
  }
  return true;
}

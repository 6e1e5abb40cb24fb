#include "base/message_box.h"

#include "base/context.h"
#include "base/run_log.h"

namespace {

// The answer as the buttons name it.
const char* answerName(int answer) {
  switch (answer) {
    case IDYES:
      return "Yes";
    case IDNO:
      return "No";
    case IDOK:
      return "OK";
    case IDCANCEL:
      return "Cancel";
    default:
      return "none";
  }
}

}  // namespace

int showMessage(HWND owner, const char* text, const char* caption, UINT type, int unattendedAnswer) {
  bool question = (type & MB_TYPEMASK) != MB_OK;
  logLine(question ? "Question: %s" : "Message: %s", text);
  if (runSwitches.unattended != 0) {
    if (question) logLine("Answer: %s (unattended)", answerName(unattendedAnswer));
    return unattendedAnswer;
  }
  int answer = MessageBoxA(owner, text, caption, type);
  if (question) logLine("Answer: %s", answerName(answer));
  return answer;
}

void showUsage(const char* usage, const char* problem, const char* caption) {
  char text[2048];
  if (problem == nullptr) {
    formatText(text, sizeof text, "%s", usage);
  } else {
    formatText(text, sizeof text, "%s\n\n%s", problem, usage);
  }
  showMessage(nullptr, text, caption, MB_OK);
}

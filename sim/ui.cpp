// Windows, dialogs and message boxes of the simulated machine.
#include "sim/machine.h"

namespace sim {

void answerNextMessageBox(int answer, std::function<void()> whileOpen) {
  machine().messageBoxAnswers.push_back(ScriptedAnswer{answer, std::move(whileOpen)});
}

const std::vector<MessageBoxRecord>& messageBoxes() { return machine().messageBoxes; }

int unexpectedMessageBoxes() { return machine().unexpectedMessageBoxes; }

}  // namespace sim

using sim::machine;

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string shownText = text != nullptr ? text : "";
  std::string shownCaption = caption != nullptr ? caption : "Error";
  // The box is written to stderr first, so that a death test sees it even
  // when the program ends while it is open.
  sim::writeToStderr("[MessageBox " + shownCaption + "] " + shownText + "\n");
  int answer = IDOK;
  std::function<void()> whileOpen;
  if (machine().messageBoxAnswers.empty()) {
    ++machine().unexpectedMessageBoxes;
  } else {
    answer = machine().messageBoxAnswers.front().answer;
    whileOpen = std::move(machine().messageBoxAnswers.front().whileOpen);
    machine().messageBoxAnswers.pop_front();
  }
  machine().messageBoxes.push_back(sim::MessageBoxRecord{owner, shownText, shownCaption, type, answer});
  if (whileOpen) whileOpen();
  return answer;
}

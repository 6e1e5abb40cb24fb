// The state of the simulated machine, shared by the sim's own files.
#ifndef VM_SIM_MACHINE_H
#define VM_SIM_MACHINE_H

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace sim {

struct ScriptedAnswer {
  int answer;
  std::function<void()> whileOpen;
};

struct Machine {
  std::string root;
  DWORD lastError = 0;
  bool debuggerAttached = false;
  bool kernelHasIsDebuggerPresent = true;
  int breakpoints = 0;
  int loadedLibraries = 0;
  size_t heapLimit = static_cast<size_t>(-1);
  int liveHeapBlocks = 0;
  std::deque<ScriptedAnswer> messageBoxAnswers;
  std::vector<MessageBoxRecord> messageBoxes;
  int unexpectedMessageBoxes = 0;
};

Machine& machine();

// Writes straight to file descriptor 2, so that what the program shows is
// seen by death tests even after the program closed its stdio streams.
void writeToStderr(const std::string& text);

}  // namespace sim

#endif  // VM_SIM_MACHINE_H

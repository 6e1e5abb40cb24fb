#include "fuzz_machine.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "sim/sim.h"

namespace {

std::string machineRoot;

void removeMachine() {
  std::error_code ignored;
  std::filesystem::remove_all(machineRoot, ignored);
}

}  // namespace

void startFuzzMachine() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vmfuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    perror("fuzz: no temporary folder for the simulated drives");
    abort();
  }
  machineRoot = pattern;
  sim::reset(machineRoot);
  atexit(removeMachine);
}

void resetFuzzMachine() {
  sim::closeProgramStreams();
  sim::reset(machineRoot);
}

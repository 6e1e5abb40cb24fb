// Injected faults: the calls Windows can refuse on a machine that is full,
// locked down or out of memory, counted by kind, and the armed faults that
// make the nth of them fail.
#include "sim/faults.h"

#include <map>
#include <set>
#include <vector>

#include "sim/machine.h"

namespace {

struct FaultState {
  std::map<sim::Fault, std::vector<std::string>> subjects;  // every counted call, in order
  std::map<sim::Fault, std::set<int>> armed;                // call numbers (from 1) that fail
  int struck = 0;
};

FaultState& faultState() {
  static FaultState state;
  return state;
}

sim::ResetHook clearFaults([] { faultState() = FaultState(); });

}  // namespace

namespace sim {

const std::vector<Fault>& faultKinds() {
  static const std::vector<Fault> kinds = {
      Fault::fileOpenForWriting, Fault::fileWrite,        Fault::fileTimeSet,   Fault::folderCreate,
      Fault::registryKeyCreate,  Fault::registryValueSet, Fault::fileCopy,      Fault::moveOnRestart,
      Fault::profileWrite,       Fault::shellLinkSave,    Fault::heapAlloc,
  };
  return kinds;
}

const char* faultName(Fault kind) {
  switch (kind) {
    case Fault::fileOpenForWriting: return "file open for writing";
    case Fault::fileWrite: return "file write";
    case Fault::fileTimeSet: return "file time set";
    case Fault::folderCreate: return "folder create";
    case Fault::registryKeyCreate: return "registry key create";
    case Fault::registryValueSet: return "registry value set";
    case Fault::fileCopy: return "file copy";
    case Fault::moveOnRestart: return "move on restart";
    case Fault::profileWrite: return "profile write";
    case Fault::shellLinkSave: return "shell link save";
    case Fault::heapAlloc: return "heap allocation";
  }
  return "?";
}

void failCall(Fault kind, int nth) {
  if (nth < 1) return;
  faultState().armed[kind].insert(callCount(kind) + nth);
}

int callCount(Fault kind) { return static_cast<int>(callSubjects(kind).size()); }

const std::vector<std::string>& callSubjects(Fault kind) { return faultState().subjects[kind]; }

int injectedFaults() { return faultState().struck; }

bool faultStrikes(Fault kind, const std::string& subject) {
  std::vector<std::string>& calls = faultState().subjects[kind];
  calls.push_back(subject);
  std::set<int>& armed = faultState().armed[kind];
  if (armed.erase(static_cast<int>(calls.size())) == 0) return false;
  ++faultState().struck;
  return true;
}

}  // namespace sim

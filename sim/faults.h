// What the fault-injection area of the sim offers the other areas of the sim.
#ifndef VM_SIM_FAULTS_H
#define VM_SIM_FAULTS_H

#include <string>

#include "sim/sim.h"

namespace sim {

// Counts a call of `kind` about `subject` that is about to act; true when an
// armed fault makes this call fail instead. The caller then fails as Windows
// reports that failure and changes nothing.
bool faultStrikes(Fault kind, const std::string& subject);

}  // namespace sim

#endif  // VM_SIM_FAULTS_H

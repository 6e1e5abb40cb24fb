// What the process area of the sim offers the other areas of the sim.
#ifndef VM_SIM_PROCESSES_H
#define VM_SIM_PROCESSES_H

#include "platform/win32.h"

namespace sim {

// Closes a process or thread handle; false when `handle` is none of them.
// CloseHandle tries the file handles first, then these.
bool closeProcessHandle(HANDLE handle);

}  // namespace sim

#endif  // VM_SIM_PROCESSES_H

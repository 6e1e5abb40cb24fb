// The packer's side of the internal-error path that the shared format code
// reports through. The packer links its own fatalInternalError, allocateBlock
// and freeBlock in place of the program's: a failed check of the decoder
// means a corrupt entry here, reported in one line, and never a message box.
#ifndef VM_TOOLS_VMPACK_TOOL_FATAL_H
#define VM_TOOLS_VMPACK_TOOL_FATAL_H

#include <string>

// The line printed when a check fails from now on; empty restores the default,
// which names the failed check as a fault of the packer itself.
void reportFailedChecksAs(const std::string& line);

#endif  // VM_TOOLS_VMPACK_TOOL_FATAL_H

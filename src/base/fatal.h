// Internal errors and the program's heap wrappers.
//
// What the user or the machine can cause is reported by the code concerned in
// a message box. A broken invariant of the program itself ends the process at
// once through fatalInternalError: a task-modal "Internal error" box naming the
// file number and the line of the failed check, then exit code 1. An
// unattended run (/S) shows no box: the report goes into its log, if any.
#ifndef VM_BASE_FATAL_H
#define VM_BASE_FATAL_H

#include <cstdint>

// Every check site reports this file number; the line tells the sites apart.
constexpr int32_t kFatalFileNumber = 10;

[[noreturn]] void fatalInternalError(int32_t fileNumber, int32_t lineNumber);

// A check that holds on every sound run; a failure is an internal error
// reported with the line of the check itself.
#define ENSURE(condition)                                     \
  do {                                                        \
    if (!(condition)) fatalInternalError(kFatalFileNumber, __LINE__); \
  } while (0)

// True when a debugger is attached. Looked up at run time, so a kernel
// without IsDebuggerPresent simply answers false.
bool debuggerAttached();

// A block of `size` bytes from the heap, or null when the heap cannot supply
// it. Reports nothing: what a null means is the caller's business.
void* allocateBlock(int32_t size);

// Returns a block to the heap; null is ignored.
void freeBlock(void* block);

#endif  // VM_BASE_FATAL_H

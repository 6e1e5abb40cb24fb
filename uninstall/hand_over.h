// A running program's file cannot be deleted, so the uninstaller that the
// user starts from the installation folder copies itself into a folder of
// its own under the temporary folder, starts the copy and ends; the copy
// waits for it to end and does the removal, its own file and folder
// included. The copy and its folder are deleted at the next start of
// Windows; nothing waits for that.
//
// The copy's command line: /original:<process id> <path of the original>
#ifndef VM_UNINSTALL_HAND_OVER_H
#define VM_UNINSTALL_HAND_OVER_H

#include <cstdint>

#include "install/paths.h"

struct HandOver {
  uint32_t originalProcessId;
  char originalPath[kPathBufferSize];  // drive-rooted
};

// True when `commandLine` (without the program's own name) is a copy's.
bool parseHandOver(const char* commandLine, HandOver* handOver);

// Copies the program to a new folder under the temporary folder and starts
// the copy with the hand-over command line. False, with nothing left behind,
// when any of it fails; the caller then removes the product itself.
bool handOverToCopy(const char* programPath);

// Waits, for a while, until the original program has ended, so that its
// file can be deleted.
void waitForOriginal(uint32_t processId);

// Schedules the running copy and its folder for deletion at the next start,
// when the copy runs from a folder of its own under the temporary folder.
void scheduleCopyCleanup();

#endif  // VM_UNINSTALL_HAND_OVER_H

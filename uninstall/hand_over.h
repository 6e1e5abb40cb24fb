// A running program's file cannot be deleted, so the uninstaller that the
// user starts from the installation folder copies itself, starts the copy
// and ends; the copy waits for it to end and does the removal, its own file
// and folder included. The copy is deleted at the next start of Windows;
// nothing waits for that.
//
// On the NT family the copy runs with administrator rights, so no other
// user's program may be able to swap its file between the copy and the
// start: it goes into a new folder ~vmun000 to ~vmun999 in the Windows
// folder's Temp, where users may make things but not delete or change what
// others made, created so that only administrators and the system may
// write to it. Where that cannot be done (Windows NT 4 cannot describe such
// a folder), there is no copy. Windows 95 to ME know no users to keep apart,
// and wininit.ini deletes files but no folders: there the copy is a file
// ~vmun000.exe to ~vmun999.exe in the temporary folder itself.
//
// The copy's command line: the switches the user gave the original (/S, and
// /LOG= with the full path), then /original:<process id> <path of the
// original>.
//
// A run started with switches reports how the removal went in its exit
// code, which only the copy learns: the original waits for the copy, holding
// the run lock and the installation folder for both, and the copy, once
// everything but the original's own file and folder is gone, ends the
// original with the exit code it is about to return itself, then deletes
// that file and folder. Should the copy end without doing so, the original
// ends with the copy's own exit code.
#ifndef VM_UNINSTALL_HAND_OVER_H
#define VM_UNINSTALL_HAND_OVER_H

#include <cstdint>

#include "base/paths.h"
#include "platform/win32.h"

struct HandOver {
  uint32_t originalProcessId;
  char originalPath[kPathBufferSize];  // drive-rooted
};

// True when `commandLine` (without the program's own name) is a copy's.
bool parseHandOver(const char* commandLine, HandOver* handOver);

// Opens the running program's own file so that, until the handle is closed,
// nobody can change, rename or replace it (reading alone is shared): a user
// who may write to the installation folder could otherwise rename the
// running program and put another in its place, which the copy, running
// with administrator rights, would then be. INVALID_HANDLE_VALUE when
// another program holds the file so that it cannot be held: then no copy is
// made.
HANDLE holdProgramFile(const char* programPath);

// Makes the copy and starts it with the hand-over command line. False, with
// nothing left behind, when any of it fails; the caller then removes the
// product itself. `copyProcess`, when not null, receives the copy's process
// handle for waitForCopy.
bool handOverToCopy(const char* programPath, HANDLE* copyProcess);

// The original's wait for a copy started with switches: the copy's exit code
// (the original is normally ended by the copy before that).
uint32_t waitForCopy(HANDLE copy);

// The copy's handle on an original that waits for it; null when the
// original has ended.
HANDLE openWaitingOriginal(uint32_t processId);

// Ends the waiting original with `exitCode` and waits, for a while, until it
// has ended, so that its file can be deleted. Closes the handle.
void endWaitingOriginal(HANDLE original, uint32_t exitCode);

// Waits, for a while, until the original program has ended, so that its
// file can be deleted.
void waitForOriginal(uint32_t processId);

// Schedules the running copy, and on NT its folder, for deletion at the next
// start, when it is a copy handOverToCopy makes.
void scheduleCopyCleanup();

#endif  // VM_UNINSTALL_HAND_OVER_H

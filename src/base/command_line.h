// The command lines of setup.exe and _vmunins.exe. A switch starts with a
// slash or a hyphen, its name in any letter case; a value follows an equals
// sign, in double quotes where it holds blanks (/LOG="C:\My Logs\vm.log").
//
//   /S               unattended: no window, no message box
//   /D=FOLDER        the target folder: the rest of the line, blanks and all,
//                    as NSIS takes it (a closing quote is dropped when the
//                    switch itself was opened with one)       setup.exe only
//   /COMPONENTS=a,b  the components by their short names       setup.exe only
//   /NORESTART       never restart Windows                     setup.exe only
//   /LOG=FILE        a log of the run, written as it goes
//   /?               the switches, in a message box
//
// The uninstaller's copy is started with its original's switches followed
// by "/original:" and the rest that hand_over.h reads.
#ifndef VM_BASE_COMMAND_LINE_H
#define VM_BASE_COMMAND_LINE_H

#include <cstddef>

// Which program reads the line: the uninstaller takes /S, /LOG= and /? only,
// and the copy's hand-over.
enum class CommandLineOf { setup, uninstaller };

// Fills runSwitches from `line` (the command line after the program's own
// name). For the uninstaller, `handOver` receives where "/original:" starts,
// or null. False, with the exact text the user is to see in `problem`, for an
// unknown switch or one without its value.
bool readCommandLine(const char* line, CommandLineOf program, const char** handOver, char* problem,
                     size_t problemSize);

#endif  // VM_BASE_COMMAND_LINE_H

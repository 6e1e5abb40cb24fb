// The log of a run that /LOG= asks for: plain text, one line a step, a file
// written or removed, a message and the answer it got, written to the disk
// line by line as the run goes, so that a run that ends half way (a power
// failure, a process killed) still leaves the lines up to there.
#ifndef VM_BASE_RUN_LOG_H
#define VM_BASE_RUN_LOG_H

#include <cstddef>

// Opens the log at runSwitches.logPath, emptied first unless `append`, and
// writes the full path back there (the uninstaller's copy runs in another
// folder). False when the file cannot be written.
bool openRunLog(bool append);

// openRunLog when /LOG= named a log, then the run's first lines: the
// caption and the command line. False, with the text the user is to see in
// `problem`, when the log cannot be written. Emptied first only by a run that
// holds the run lock: another run may be writing to the same log.
bool startRunLog(const char* commandLine, bool append, char* problem, size_t problemSize);

// Closes the log: the uninstaller's copy goes on in it.
void closeRunLog();

// One line, formatted as formatText does; a text holding line breaks goes on
// over indented lines. Nothing without an open log.
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

#endif  // VM_BASE_RUN_LOG_H

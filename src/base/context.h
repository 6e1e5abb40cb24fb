// The run's process-wide records: SetupContext, written at start-up and read
// everywhere; InstallOptions, the choices the wizard edits and the
// installation reads; RunSwitches, what the command line asked for; and
// runFailure, how a run that ended short ended.
#ifndef VM_BASE_CONTEXT_H
#define VM_BASE_CONTEXT_H

#include <cstdint>

#include "platform/win32.h"

// Components, numbered as the component table and the pages number them.
enum ComponentNumber : int32_t {
  kComponentProgram = 0,
  kComponentStandardModules = 1,
  kComponentLibraryModules = 2,
  kComponentPipeDriver = 3,
  kComponentExamples = 4,
  kComponentSkins = 5,
  kComponentSupport = 6,  // uninstaller and its companions, always installed
  kComponentCount = 7
};

struct SetupContext {
  HINSTANCE instance;
  uint32_t mainThreadId;
  char versionText[32];
  char caption[64];
  HWND titleWindow;
  HWND splashWindow;
};

struct InstallOptions {
  char targetFolder[260];
  int32_t componentSelected[kComponentCount];
  int32_t pipeDriverAllowed;
  int32_t restartNeeded;
};

// The switches of the command line (command_line.h); all zero and empty for
// a run started without one.
struct RunSwitches {
  int32_t given;       // any switch at all: the run ends with an exit code of exit_codes.h
  int32_t unattended;  // /S: no window, no message box; the safe answer to every question
  int32_t noRestart;   // /NORESTART
  int32_t help;        // /?
  char folder[260];    // /D=, "" when not given
  char components[260];  // /COMPONENTS=, the names as given
  char logPath[260];   // /LOG=, a full path once the log is open
};

extern SetupContext setupContext;
extern InstallOptions installOptions;
extern RunSwitches runSwitches;
// The exit code (exit_codes.h) of what last ended the run, or a try of the
// installation, short: set where it happens, 0 while nothing has.
extern int32_t runFailure;

#endif  // VM_BASE_CONTEXT_H

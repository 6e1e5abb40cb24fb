// The run's two process-wide records: SetupContext, written at start-up and
// read everywhere, and InstallOptions, the choices the wizard edits and the
// installation reads.
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

extern SetupContext setupContext;
extern InstallOptions installOptions;

#endif  // VM_BASE_CONTEXT_H

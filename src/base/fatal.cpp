#include "base/fatal.h"

#include "base/context.h"
#include "base/run_log.h"
#include "platform/win32.h"

namespace {

constexpr char kInternalErrorCaption[] = "Internal error";
constexpr char kInternalErrorFormat[] = "File %d\nLine %d";

// Raised once a report starts and never lowered: a second failure while the
// first report's box is open (its message loop still paints the title window)
// must end the process without another box.
int32_t reentryDepth = 0;

void breakIntoDebugger() {
  if (debuggerAttached()) DebugBreak();
}

}  // namespace

void fatalInternalError(int32_t fileNumber, int32_t lineNumber) {
  if (reentryDepth > 0) {
    breakIntoDebugger();
    ExitProcess(1);
  }
  ++reentryDepth;

  char text[1000];
  formatText(text, sizeof text, kInternalErrorFormat, static_cast<int>(fileNumber),
           static_cast<int>(lineNumber));

  logLine("%s: %s", kInternalErrorCaption, text);
  // Flush and release files being written (the log too) before the process
  // goes away.
  closeAllFileStreams();

  // No owner: the title window or a page may be what is broken. An
  // unattended run has nobody to read it; the log and the exit code tell.
  if (runSwitches.unattended == 0) MessageBoxA(nullptr, text, kInternalErrorCaption, MB_OK | MB_TASKMODAL);

  // The breakpoint comes after the box so that the user sees the report first.
  breakIntoDebugger();
  ExitProcess(1);
}

bool debuggerAttached() {
  HMODULE kernel = LoadLibraryA("kernel32.dll");
  if (kernel == nullptr) return false;
  typedef BOOL(WINAPI * IsDebuggerPresentFunction)(void);
  bool attached = false;
  FARPROC found = GetProcAddress(kernel, "IsDebuggerPresent");
  if (found != nullptr) {
    IsDebuggerPresentFunction isDebuggerPresent =
        reinterpret_cast<IsDebuggerPresentFunction>(reinterpret_cast<void*>(found));
    attached = isDebuggerPresent() != 0;
  }
  FreeLibrary(kernel);
  return attached;
}

void* allocateBlock(int32_t size) {
  if (size < 0) return nullptr;
  return HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(size));
}

void freeBlock(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

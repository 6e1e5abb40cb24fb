// The state of the simulated machine, shared by the sim's own files.
#ifndef VM_SIM_MACHINE_H
#define VM_SIM_MACHINE_H

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sim/sim.h"

// What an HMODULE of the sim points to: the system's libraries and the
// program itself.
struct SimModule {
  int unused;
};

namespace sim {

struct ScriptedAnswer {
  int answer;
  std::function<void()> whileOpen;
};

// The state every area shares: the drives' root, the last error, the process.
struct Machine {
  std::string root;
  DWORD lastError = 0;
  bool debuggerAttached = false;
  int breakpoints = 0;
  size_t heapLimit = static_cast<size_t>(-1);
  int liveHeapBlocks = 0;
  std::deque<ScriptedAnswer> messageBoxAnswers;
  std::vector<MessageBoxRecord> messageBoxes;
  int unexpectedMessageBoxes = 0;
};

Machine& machine();

// Each area of the sim keeps its own state next to its calls and registers a
// hook here that clears it when a test asks for a fresh machine:
//   static sim::ResetHook clearRegistry([] { registry() = Registry(); });
struct ResetHook {
  explicit ResetHook(void (*clear)());
};

// Supplied by the privileges area: closes a process token handle; false
// when `object` is not one.
bool closeTokenHandle(HANDLE object);

// The levels below the drive of a drive-rooted path as Windows resolves
// them: "." and ".." gone, trailing dots and spaces dropped where Windows
// drops them.
std::vector<std::string> pathLevels(const std::string& windowsPath);

// Supplied by the file-names area: the entry of the host folder whose 8.3
// alias is `alias` (any case), or "" when there is none.
std::string entryWithAlias(const std::string& hostFolder, const std::string& alias);

// Supplied by the security area: the text a descriptor made by
// ConvertStringSecurityDescriptorToSecurityDescriptorA was made from; false
// for anything else.
bool securityDescriptorText(const void* descriptor, std::string* text);

// Supplied by the files area: whether an open handle (the program's own,
// or another program's lock) lacks FILE_SHARE_DELETE, so that the file can
// be neither deleted nor renamed.
bool heldAgainstDeletion(const std::string& windowsPath);
// Whether anything below the folder is open: Windows then renames neither
// the folder nor any folder above what is open.
bool openBelow(const std::string& windowsFolder);

// Supplied by the power area, told by the files and moves areas: every
// change to the disk (counted, and the power may fail before it), a file
// about to be opened for writing or written through a stream (by host path),
// renamed, or whose
// content can no longer be lost (flushed, deleted, or written by a call that
// is not a stream's).
void noteDiskChange();
void noteAboutToWrite(const std::string& host);
void noteRenamed(const std::string& from, const std::string& to);
void forgetUnflushed(const std::string& host);

// Writes straight to file descriptor 2, so that what the program shows is
// seen by death tests even after the program closed its stdio streams.
void writeToStderr(const std::string& text);

}  // namespace sim

// advapi32's export on the NT family (Windows 2000 and later), supplied by
// the security area.
BOOL WINAPI simConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR text, DWORD revision,
                                                                    PSECURITY_DESCRIPTOR* descriptor, PULONG size);

#endif  // VM_SIM_MACHINE_H

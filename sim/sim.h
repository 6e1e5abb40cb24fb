// The simulated Windows that host builds link instead of the real one.
//
// It implements the Win32 subset declared in src/platform/win32.h over plain
// data, as Windows documents it and Wine does it. Tests reach it only through
// this header: they arrange the machine before running program code and
// inspect it afterwards. Each test gets a fresh machine from the fixture in
// tests/sim_fixture.h.
#ifndef VM_SIM_SIM_H
#define VM_SIM_SIM_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace sim {

// ---- The machine ---------------------------------------------------------

// Throws away the previous machine and starts a new one whose drives live
// under `root` (C: is root/C). Drive C: exists afterwards.
void reset(const std::string& root);

// Adds a drive: the folder root/<letter> is created.
void addDrive(char letter);

// The host path a Windows path maps to, resolving existing levels without
// regard to the case of A to Z as Windows does. Empty when the path names no
// simulated drive.
std::string hostPath(const std::string& windowsPath);

// Convenience for tests: does the Windows path exist as a folder / as a file?
bool folderExists(const std::string& windowsPath);
bool fileExists(const std::string& windowsPath);
// Writes a file at a Windows path (its folder must exist); returns success.
bool writeFile(const std::string& windowsPath, const std::string& content);

// Files held open by "another program": opening them for writing, deleting,
// replacing or moving them fails with ERROR_SHARING_VIOLATION until unlocked.
void lockFile(const std::string& windowsPath);
void unlockFile(const std::string& windowsPath);
bool isLocked(const std::string& windowsPath);

// Free space of a drive as GetDiskFreeSpaceA reports it and as writes to
// the drive use it up (default: 10 GiB).
void setFreeBytes(char drive, uint64_t bytes);
uint64_t freeBytes(char drive);

// ---- Process ---------------------------------------------------------------

// Whether a debugger is attached, and whether kernel32 offers
// IsDebuggerPresent at all (old kernels do not).
void setDebuggerAttached(bool attached);
void setKernelHasIsDebuggerPresent(bool present);
int breakpointCount();
// Libraries loaded and not yet freed.
int loadedLibraryCount();

// Heap blocks larger than `bytes` cannot be supplied (SIZE_MAX: no limit).
void setHeapLimit(size_t bytes);
// Heap blocks handed out and not yet returned.
int liveHeapBlocks();

// ---- Resources of the program's executable -----------------------------------

// The module handle of the program itself; FindResourceA also takes null for it,
// as Windows does.
HMODULE programModule();

// Installs (or replaces) a resource with a numeric type and id, language 1033.
void addResource(int type, int id, const std::vector<uint8_t>& bytes);
void removeResource(int type, int id);

// Makes every later LoadResource or LockResource call fail.
enum class ResourceFailure { none, load, lock };
void setResourceFailure(ResourceFailure failure);

// Resources loaded with LoadResource and not yet given back with FreeResource.
int loadedResourceCount();
// The ids FindResourceA was asked for, in order (numeric ids only).
const std::vector<int>& resourceLookups();

// ---- Message boxes -----------------------------------------------------------

struct MessageBoxRecord {
  HWND owner;
  std::string text;
  std::string caption;
  UINT flags;
  int answer;
};

// The next message box is answered with `answer`; `whileOpen`, when given,
// runs while the box is "open" (as a nested message loop would run code).
void answerNextMessageBox(int answer, std::function<void()> whileOpen = nullptr);
const std::vector<MessageBoxRecord>& messageBoxes();
// Boxes that came without a scripted answer; the fixture fails the test on them.
int unexpectedMessageBoxes();

}  // namespace sim

#endif  // VM_SIM_SIM_H

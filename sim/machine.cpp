// The simulated machine itself: reset, drives and path mapping, last error,
// threads, process exit and the heap.
#include "sim/machine.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "sim/faults.h"

namespace sim {

Machine& machine() {
  static Machine theMachine;
  return theMachine;
}

void writeToStderr(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(2, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
}

namespace {

std::vector<void (*)()>& resetHooks() {
  static std::vector<void (*)()> hooks;
  return hooks;
}

}  // namespace

ResetHook::ResetHook(void (*clear)()) { resetHooks().push_back(clear); }

void reset(const std::string& root) {
  machine() = Machine();
  machine().root = root;
  for (void (*clear)() : resetHooks()) clear();
  addDrive('C');
}

void addDrive(char letter) {
  std::string folder = machine().root + "/" + static_cast<char>(toupper(letter));
  mkdir(folder.c_str(), 0777);
}

namespace {

bool isSeparator(char ch) { return ch == '\\' || ch == '/'; }

// Finds `name` among the entries of the host folder without regard to case.
std::string matchEntry(const std::string& folder, const std::string& name) {
  // The name as spelt is there: no other entry can match it, since names in
  // a folder differ in more than case. Only a miss reads the folder.
  struct stat info;
  if (!name.empty() && name.find('/') == std::string::npos && lstat((folder + "/" + name).c_str(), &info) == 0)
    return name;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return name;
  std::string found = name;
  bool matched = false;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      matched = true;
      if (found == name) break;
    }
  }
  closedir(dir);
  // Every name can also be reached by its 8.3 alias, which holds a tilde.
  if (!matched && name.find('~') != std::string::npos) {
    std::string aliased = entryWithAlias(folder, name);
    if (!aliased.empty()) found = aliased;
  }
  return found;
}

}  // namespace

std::vector<std::string> pathLevels(const std::string& windowsPath) {
  // Repeated separators collapse and "." and ".." are resolved.
  std::vector<std::string> levels;
  std::string level;
  for (size_t i = 3; i <= windowsPath.size(); ++i) {
    if (i < windowsPath.size() && !isSeparator(windowsPath[i])) {
      level += windowsPath[i];
      continue;
    }
    if (level == "..") {
      if (!levels.empty()) levels.pop_back();
    } else if (!level.empty() && level != ".") {
      levels.push_back(level);
    }
    level.clear();
  }
  // A level before the last loses one trailing dot, the last level every
  // trailing dot and space; a level left empty goes.
  for (size_t k = 0; k < levels.size(); ++k) {
    std::string& name = levels[k];
    if (k + 1 < levels.size()) {
      if (name.size() > 1 && name.back() == '.') name.pop_back();
    } else {
      while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    }
  }
  if (!levels.empty() && levels.back().empty()) levels.pop_back();
  return levels;
}

std::string hostPath(const std::string& windowsPath) {
  if (windowsPath.size() < 2 || !isalpha(static_cast<unsigned char>(windowsPath[0])) ||
      windowsPath[1] != ':')
    return "";
  if (windowsPath.size() > 2 && !isSeparator(windowsPath[2])) return "";
  std::string host = machine().root + "/" + static_cast<char>(toupper(windowsPath[0]));
  std::vector<std::string> levels = sim::pathLevels(windowsPath);
  // Most paths name what is there as spelt, and where the whole path is
  // there so is every level on it: one look-up of the path gives the same
  // answer as one per level. Where only the last level is missing (a file
  // about to be made), its folder is there as spelt and only the last name
  // is matched.
  std::string spelt = host;
  for (const std::string& name : levels) spelt += "/" + name;
  struct stat info;
  if (lstat(spelt.c_str(), &info) == 0) return spelt;
  if (levels.size() > 1) {
    std::string folder = spelt.substr(0, spelt.size() - levels.back().size() - 1);
    if (stat(folder.c_str(), &info) == 0) return folder + "/" + matchEntry(folder, levels.back());
  }
  if (stat(host.c_str(), &info) != 0) return "";
  for (const std::string& name : levels) host += "/" + matchEntry(host, name);
  return host;
}

bool folderExists(const std::string& windowsPath) {
  std::string host = hostPath(windowsPath);
  struct stat info;
  return !host.empty() && stat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool fileExists(const std::string& windowsPath) {
  std::string host = hostPath(windowsPath);
  struct stat info;
  return !host.empty() && stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool writeFile(const std::string& windowsPath, const std::string& content) {
  std::string host = hostPath(windowsPath);
  if (host.empty()) return false;
  std::ofstream out(host, std::ios::binary);
  out << content;
  return static_cast<bool>(out);
}

void setDebuggerAttached(bool attached) { machine().debuggerAttached = attached; }
int breakpointCount() { return machine().breakpoints; }
void setHeapLimit(size_t bytes) { machine().heapLimit = bytes; }
int liveHeapBlocks() { return machine().liveHeapBlocks; }

}  // namespace sim

using sim::machine;

DWORD WINAPI GetLastError(void) { return machine().lastError; }
void WINAPI SetLastError(DWORD code) { machine().lastError = code; }

DWORD WINAPI GetCurrentThreadId(void) {
  static std::atomic<DWORD> nextId{0x100};
  thread_local DWORD id = nextId.fetch_add(4);
  return id;
}

void WINAPI ExitProcess(UINT exitCode) {
  fflush(stdout);
  fflush(stderr);
  _exit(static_cast<int>(exitCode));
}

void WINAPI DebugBreak(void) {
  ++machine().breakpoints;
  sim::writeToStderr("[DebugBreak]\n");
}

HANDLE WINAPI GetProcessHeap(void) {
  static int heap;
  return reinterpret_cast<HANDLE>(&heap);
}

LPVOID WINAPI HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes) {
  if (bytes > machine().heapLimit) return nullptr;
  if (sim::faultStrikes(sim::Fault::heapAlloc, std::to_string(bytes))) return nullptr;
  void* block = (flags & HEAP_ZERO_MEMORY) ? calloc(1, bytes ? bytes : 1) : malloc(bytes ? bytes : 1);
  if (block != nullptr) ++machine().liveHeapBlocks;
  return block;
}

BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID block) {
  if (block == nullptr) return TRUE;
  --machine().liveHeapBlocks;
  free(block);
  return TRUE;
}

int WINAPI MulDiv(int number, int numerator, int denominator) {
  // Rounds half away from zero; -1 for a zero divisor or an overflow.
  if (denominator == 0) return -1;
  int64_t a = number, b = numerator, c = denominator;
  if (c < 0) {
    a = -a;
    c = -c;
  }
  int64_t product = a * b;
  int64_t result = product >= 0 ? (product + c / 2) / c : (product - c / 2) / c;
  if (result > 2147483647 || result < -2147483647) return -1;
  return static_cast<int>(result);
}

// Files and folders of the simulated drives.
#include <errno.h>
#include <sys/stat.h>

#include <cstdio>

#include "sim/machine.h"

#include <cctype>
#include <map>
#include <set>

using sim::machine;

namespace {

struct FileState {
  std::set<std::string> lockedHostPaths;
  std::map<char, uint64_t> freeBytes;
};

FileState& fileState() {
  static FileState state;
  return state;
}

sim::ResetHook clearFileState([] { fileState() = FileState(); });

const uint64_t kDefaultFreeBytes = 10ull << 30;

bool hostExists(const std::string& host) {
  struct stat info;
  return stat(host.c_str(), &info) == 0;
}

}  // namespace

namespace sim {

void lockFile(const std::string& windowsPath) { fileState().lockedHostPaths.insert(hostPath(windowsPath)); }

void unlockFile(const std::string& windowsPath) { fileState().lockedHostPaths.erase(hostPath(windowsPath)); }

bool isLocked(const std::string& windowsPath) {
  std::string host = hostPath(windowsPath);
  return !host.empty() && fileState().lockedHostPaths.count(host) != 0;
}

void setFreeBytes(char drive, uint64_t bytes) {
  fileState().freeBytes[static_cast<char>(toupper(drive))] = bytes;
}

uint64_t freeBytes(char drive) {
  auto found = fileState().freeBytes.find(static_cast<char>(toupper(drive)));
  return found == fileState().freeBytes.end() ? kDefaultFreeBytes : found->second;
}

}  // namespace sim

BOOL WINAPI CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES) {
  std::string host = sim::hostPath(pathName);
  if (host.empty()) {
    machine().lastError = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  // Windows answers "already exists" for a file of that name as well.
  if (hostExists(host)) {
    machine().lastError = ERROR_ALREADY_EXISTS;
    return FALSE;
  }
  if (mkdir(host.c_str(), 0777) != 0) {
    machine().lastError = errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
    return FALSE;
  }
  return TRUE;
}

FILE* openWindowsFile(const char* path, const char* mode) {
  std::string host = sim::hostPath(path);
  if (host.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  return fopen(host.c_str(), mode);
}

// The host has no portable close-all; the program's own streams are all that
// matter, and flushing them is what the close is for.
void closeAllFileStreams(void) { fflush(nullptr); }

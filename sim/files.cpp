// Files and folders of the simulated drives.
//
// Drives are host folders, so contents and last-write times live in the host
// files. What the host lacks is kept here: creation times, files held open by
// "another program", each drive's free space, and the files the program has
// open with the access and sharing it asked for, which decide whether a later
// open or delete of the same file is refused as on Windows.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "sim/faults.h"
#include "sim/machine.h"
#include "sim/processes.h"

using sim::machine;

namespace {

// One open of a file by the program: a CreateFileA handle or a stdio stream.
struct OpenFile {
  std::string windowsPath;
  std::string hostPath;
  DWORD access;  // GENERIC_READ and/or GENERIC_WRITE
  DWORD share;   // FILE_SHARE_* granted to later opens
  bool isHandle;
  // What the handle holds, whatever its path names later.
  dev_t device;
  ino_t inode;
};

struct FileState {
  std::set<std::string> lockedHostPaths;
  // What runs before the program's next stdio open of a file for writing, by host path.
  std::map<std::string, std::function<void()>> beforeOpen;
  std::map<char, uint64_t> freeBytes;
  int freeSpaceQueries = 0;
  std::map<std::string, uint64_t> creationTimes;  // FILETIME values by host path
  std::map<std::string, std::string> folderSecurity;  // descriptor texts by host path
  std::map<uintptr_t, OpenFile> openFiles;
  // The streams openWindowsFile handed out and the program has not closed,
  // by the id of their open file.
  std::map<uintptr_t, FILE*> programStreams;
  // Windows hands out handle values in steps of four; these never meet a
  // pointer the sim gives out elsewhere.
  uintptr_t nextId = 0x1000;
};

FileState& fileState() {
  static FileState state;
  return state;
}

sim::ResetHook clearFileState([] { fileState() = FileState(); });

const uint64_t kDefaultFreeBytes = 10ull << 30;

// FILETIME counts 100 ns intervals from 1601; the host counts from 1970.
const int64_t kUnixEpochAsFileTime = 116444736000000000ll;
const int64_t kFileTimeTicksPerSecond = 10000000;

uint64_t fileTimeOf(const timespec& time) {
  return static_cast<uint64_t>(kUnixEpochAsFileTime + static_cast<int64_t>(time.tv_sec) * kFileTimeTicksPerSecond +
                               time.tv_nsec / 100);
}

timespec timespecOf(uint64_t fileTime) {
  int64_t ticks = static_cast<int64_t>(fileTime) - kUnixEpochAsFileTime;
  int64_t seconds = ticks / kFileTimeTicksPerSecond;
  int64_t rest = ticks % kFileTimeTicksPerSecond;
  if (rest < 0) {  // times before 1970 round towards the past
    rest += kFileTimeTicksPerSecond;
    --seconds;
  }
  timespec time;
  time.tv_sec = static_cast<time_t>(seconds);
  time.tv_nsec = static_cast<long>(rest * 100);
  return time;
}

uint64_t fileTimeNow() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return fileTimeOf(now);
}

uint64_t fileTimeValue(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

bool hostStat(const std::string& host, struct stat* info) { return stat(host.c_str(), info) == 0; }

bool isHostFolder(const std::string& host) {
  struct stat info;
  return hostStat(host, &info) && S_ISDIR(info.st_mode);
}

bool parentExists(const std::string& host) {
  size_t slash = host.find_last_of('/');
  return slash != std::string::npos && isHostFolder(host.substr(0, slash));
}

// A call refused with `error`, as an injected fault refuses it.
template <typename Result>
Result refused(DWORD error, Result result) {
  machine().lastError = error;
  return result;
}

// Windows tells a missing file in an existing folder from a missing folder.
DWORD notFoundError(const std::string& host) {
  size_t slash = host.find_last_of('/');
  return slash != std::string::npos && isHostFolder(host.substr(0, slash)) ? ERROR_FILE_NOT_FOUND
                                                                           : ERROR_PATH_NOT_FOUND;
}

char driveOf(const char* windowsPath) { return static_cast<char>(toupper(static_cast<unsigned char>(windowsPath[0]))); }

bool takeSpace(char drive, uint64_t bytes) {
  uint64_t available = sim::freeBytes(drive);
  if (bytes > available) return false;
  fileState().freeBytes[drive] = available - bytes;
  return true;
}

void giveSpaceBack(char drive, uint64_t bytes) { fileState().freeBytes[drive] = sim::freeBytes(drive) + bytes; }

// Another program holds a locked file open for reading and writing and lets
// others read it only.
bool conflictsWithLock(const std::string& host, DWORD access, DWORD share) {
  if (fileState().lockedHostPaths.count(host) == 0) return false;
  return (access & GENERIC_WRITE) != 0 || (share & FILE_SHARE_WRITE) == 0;
}

// An open succeeds only when every open already held lets it have its access
// and it lets every open already held keep theirs.
bool sharingViolation(const std::string& host, DWORD access, DWORD share) {
  if (conflictsWithLock(host, access, share)) return true;
  for (const auto& entry : fileState().openFiles) {
    const OpenFile& held = entry.second;
    if (held.hostPath != host) continue;
    if ((access & GENERIC_READ) && !(held.share & FILE_SHARE_READ)) return true;
    if ((access & GENERIC_WRITE) && !(held.share & FILE_SHARE_WRITE)) return true;
    if ((held.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
    if ((held.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
  }
  return false;
}

bool heldWithoutDeleteSharing(const std::string& host) {
  if (fileState().lockedHostPaths.count(host) != 0) return true;
  for (const auto& entry : fileState().openFiles) {
    if (entry.second.hostPath == host && !(entry.second.share & FILE_SHARE_DELETE)) return true;
  }
  return false;
}

uintptr_t registerOpen(const char* windowsPath, const std::string& host, DWORD access, DWORD share, bool isHandle) {
  uintptr_t id = fileState().nextId;
  fileState().nextId += 4;
  struct stat info;
  if (!hostStat(host, &info)) info = {};
  fileState().openFiles[id] = OpenFile{windowsPath, host, access, share, isHandle, info.st_dev, info.st_ino};
  return id;
}

// A stream's handle (streamFileHandle) serves calls on the file too, but is
// the stream's to close.
OpenFile* findHandle(HANDLE handle, bool streamsToo = false) {
  auto found = fileState().openFiles.find(reinterpret_cast<uintptr_t>(handle));
  if (found == fileState().openFiles.end() || !(found->second.isHandle || streamsToo)) return nullptr;
  return &found->second;
}

// ---- stdio streams over the simulated drives ----

// A stream the program opened: the host file, unbuffered underneath so that
// every failure shows in the program's own stream, whose writes use up the
// drive's free space and fail once it is gone, as a full disk does.
struct Stream {
  FILE* host;
  std::string windowsPath;
  char drive;
  bool appending;
  uintptr_t openId;
};

ssize_t streamRead(void* cookie, char* buffer, size_t size) {
  Stream* stream = static_cast<Stream*>(cookie);
  size_t done = fread(buffer, 1, size, stream->host);
  return done == 0 && ferror(stream->host) ? -1 : static_cast<ssize_t>(done);
}

ssize_t diskFull() {
  machine().lastError = ERROR_DISK_FULL;
  errno = ENOSPC;
  return 0;
}

ssize_t streamWrite(void* cookie, const char* buffer, size_t size) {
  Stream* stream = static_cast<Stream*>(cookie);
  struct stat info;
  if (fstat(fileno(stream->host), &info) != 0) {
    errno = EIO;
    return 0;
  }
  uint64_t end = static_cast<uint64_t>(info.st_size);
  off_t position = ftello(stream->host);
  uint64_t start = stream->appending || position < 0 ? end : static_cast<uint64_t>(position);
  uint64_t growth = start + size > end ? start + size - end : 0;
  // Windows allocates before it writes: a write that does not fit writes
  // nothing and fails with ERROR_DISK_FULL.
  if (growth <= sim::freeBytes(stream->drive) && sim::faultStrikes(sim::Fault::fileWrite, stream->windowsPath))
    return diskFull();
  if (!takeSpace(stream->drive, growth)) return diskFull();
  sim::noteDiskChange();
  sim::noteAboutToWrite(fileState().openFiles[stream->openId].hostPath);
  size_t done = fwrite(buffer, 1, size, stream->host);
  uint64_t grown = start + done > end ? start + done - end : 0;
  giveSpaceBack(stream->drive, growth - grown);
  return static_cast<ssize_t>(done);
}

int streamSeek(void* cookie, off64_t* offset, int whence) {
  Stream* stream = static_cast<Stream*>(cookie);
  if (fseeko(stream->host, static_cast<off_t>(*offset), whence) != 0) return -1;
  *offset = ftello(stream->host);
  return 0;
}

int streamClose(void* cookie) {
  Stream* stream = static_cast<Stream*>(cookie);
  int result = fclose(stream->host);
  fileState().openFiles.erase(stream->openId);
  fileState().programStreams.erase(stream->openId);
  delete stream;
  return result == 0 ? 0 : -1;
}

}  // namespace

namespace sim {

bool makeReparsePoint(const std::string& windowsPath, const std::string& target) {
  if (windowsFamily() != WindowsFamily::NT) return false;
  std::string link = hostPath(windowsPath);
  std::string to = hostPath(target);
  return !link.empty() && !to.empty() && symlink(to.c_str(), link.c_str()) == 0;
}

void lockFile(const std::string& windowsPath) { fileState().lockedHostPaths.insert(hostPath(windowsPath)); }

void unlockFile(const std::string& windowsPath) { fileState().lockedHostPaths.erase(hostPath(windowsPath)); }

bool heldAgainstDeletion(const std::string& windowsPath) { return heldWithoutDeleteSharing(hostPath(windowsPath)); }

bool openBelow(const std::string& windowsFolder) {
  std::string below = hostPath(windowsFolder) + "/";
  for (const auto& entry : fileState().openFiles)
    if (entry.second.hostPath.compare(0, below.size(), below) == 0) return true;
  return false;
}

void beforeNextOpen(const std::string& windowsPath, std::function<void()> action) {
  fileState().beforeOpen[hostPath(windowsPath)] = std::move(action);
}

bool isLocked(const std::string& windowsPath) {
  std::string host = hostPath(windowsPath);
  return !host.empty() && fileState().lockedHostPaths.count(host) != 0;
}

void setFreeBytes(char drive, uint64_t bytes) {
  fileState().freeBytes[static_cast<char>(toupper(drive))] = bytes;
}

int freeSpaceQueries() { return fileState().freeSpaceQueries; }

uint64_t freeBytes(char drive) {
  auto found = fileState().freeBytes.find(static_cast<char>(toupper(drive)));
  return found == fileState().freeBytes.end() ? kDefaultFreeBytes : found->second;
}

uint64_t fileCreationTime(const std::string& windowsPath) {
  std::string host = hostPath(windowsPath);
  struct stat info;
  if (host.empty() || !hostStat(host, &info)) return 0;
  auto found = fileState().creationTimes.find(host);
  return found != fileState().creationTimes.end() ? found->second : fileTimeOf(info.st_mtim);
}

uint64_t fileWriteTime(const std::string& windowsPath) {
  std::string host = hostPath(windowsPath);
  struct stat info;
  if (host.empty() || !hostStat(host, &info)) return 0;
  return fileTimeOf(info.st_mtim);
}

int openFileCount() { return static_cast<int>(fileState().openFiles.size()); }

int closeProgramStreams() {
  std::map<uintptr_t, FILE*> streams = fileState().programStreams;
  for (const auto& stream : streams) fclose(stream.second);
  return static_cast<int>(streams.size());
}

std::string folderSecurity(const std::string& windowsPath) {
  auto found = fileState().folderSecurity.find(hostPath(windowsPath));
  return found == fileState().folderSecurity.end() ? std::string() : found->second;
}

}  // namespace sim

BOOL WINAPI CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES security) {
  std::string host = sim::hostPath(pathName);
  if (host.empty()) {
    machine().lastError = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  // Windows answers "already exists" for a file of that name as well.
  struct stat info;
  if (hostStat(host, &info)) {
    machine().lastError = ERROR_ALREADY_EXISTS;
    return FALSE;
  }
  if (parentExists(host) && sim::faultStrikes(sim::Fault::folderCreate, pathName))
    return refused(ERROR_ACCESS_DENIED, FALSE);
  sim::noteDiskChange();
  if (mkdir(host.c_str(), 0777) != 0) {
    machine().lastError = errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
    return FALSE;
  }
  std::string text;
  if (security != nullptr && security->lpSecurityDescriptor != nullptr &&
      sim::securityDescriptorText(security->lpSecurityDescriptor, &text))
    fileState().folderSecurity[host] = text;
  else
    fileState().folderSecurity.erase(host);
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR pathName) {
  std::string host = sim::hostPath(pathName);
  if (host.empty()) {
    machine().lastError = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  struct stat info;
  if (!hostStat(host, &info)) {
    machine().lastError = notFoundError(host);
    return FALSE;
  }
  if (!S_ISDIR(info.st_mode)) {
    machine().lastError = ERROR_DIRECTORY;
    return FALSE;
  }
  // A folder held open without delete sharing cannot go.
  if (heldWithoutDeleteSharing(host)) {
    machine().lastError = ERROR_SHARING_VIOLATION;
    return FALSE;
  }
  sim::noteDiskChange();
  // A junction goes itself, whatever its target holds.
  struct stat link;
  if (lstat(host.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (unlink(host.c_str()) == 0) return TRUE;
    machine().lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  // A drive's root is never removed.
  if (host.size() == machine().root.size() + 2) {
    machine().lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (rmdir(host.c_str()) != 0) {
    // Windows 95 to ME report a folder that still holds something as access
    // denied, NT as not empty.
    bool notEmpty = errno == ENOTEMPTY || errno == EEXIST;
    machine().lastError =
        notEmpty && sim::windowsFamily() == sim::WindowsFamily::NT ? ERROR_DIR_NOT_EMPTY : ERROR_ACCESS_DENIED;
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR fileName) {
  std::string host = sim::hostPath(fileName);
  if (host.empty()) {
    machine().lastError = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  struct stat info;
  if (!hostStat(host, &info)) {
    machine().lastError = notFoundError(host);
    return FALSE;
  }
  if (S_ISDIR(info.st_mode)) {
    machine().lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (heldWithoutDeleteSharing(host)) {
    machine().lastError = ERROR_SHARING_VIOLATION;
    return FALSE;
  }
  sim::noteDiskChange();
  if (unlink(host.c_str()) != 0) {
    machine().lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  sim::forgetUnflushed(host);
  giveSpaceBack(driveOf(fileName), static_cast<uint64_t>(info.st_size));
  fileState().creationTimes.erase(host);
  return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                          DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
  if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING ||
      (creationDisposition == TRUNCATE_EXISTING && !(desiredAccess & GENERIC_WRITE))) {
    machine().lastError = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  std::string host = sim::hostPath(fileName);
  if (host.empty()) {
    machine().lastError = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  struct stat info;
  bool exists = hostStat(host, &info);
  // Folders open only with backup semantics, and not at all on Windows 95 to ME.
  if (exists && S_ISDIR(info.st_mode)) {
    if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) || sim::windowsFamily() != sim::WindowsFamily::NT ||
        creationDisposition != OPEN_EXISTING || (desiredAccess & GENERIC_WRITE)) {
      machine().lastError = ERROR_ACCESS_DENIED;
      return INVALID_HANDLE_VALUE;
    }
    if (sharingViolation(host, desiredAccess, shareMode)) {
      machine().lastError = ERROR_SHARING_VIOLATION;
      return INVALID_HANDLE_VALUE;
    }
    machine().lastError = ERROR_SUCCESS;
    return reinterpret_cast<HANDLE>(registerOpen(fileName, host, desiredAccess, shareMode, true));
  }
  if (exists && creationDisposition == CREATE_NEW) {
    machine().lastError = ERROR_FILE_EXISTS;
    return INVALID_HANDLE_VALUE;
  }
  if (!exists && (creationDisposition == OPEN_EXISTING || creationDisposition == TRUNCATE_EXISTING)) {
    machine().lastError = notFoundError(host);
    return INVALID_HANDLE_VALUE;
  }
  if (exists && sharingViolation(host, desiredAccess, shareMode)) {
    machine().lastError = ERROR_SHARING_VIOLATION;
    return INVALID_HANDLE_VALUE;
  }
  if ((desiredAccess & GENERIC_WRITE) && (exists || parentExists(host)) &&
      sim::faultStrikes(sim::Fault::fileOpenForWriting, fileName))
    return refused(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  bool truncate = exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING);
  if (!exists || truncate) {
    sim::noteDiskChange();
    sim::forgetUnflushed(host);
    int fd = open(host.c_str(), O_WRONLY | O_CREAT | (truncate ? O_TRUNC : 0), 0666);
    if (fd < 0) {
      machine().lastError = errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
      return INVALID_HANDLE_VALUE;
    }
    close(fd);
    if (truncate) giveSpaceBack(driveOf(fileName), static_cast<uint64_t>(info.st_size));
    if (!exists) fileState().creationTimes[host] = fileTimeNow();
  }
  uintptr_t id = registerOpen(fileName, host, desiredAccess, shareMode, true);
  machine().lastError =
      exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                             : ERROR_SUCCESS;
  return reinterpret_cast<HANDLE>(id);
}

BOOL WINAPI SetFileTime(HANDLE file, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                        const FILETIME* lastWriteTime) {
  const OpenFile* open = findHandle(file, true);
  if (open == nullptr) {
    machine().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  // Windows wants the right to write attributes (Wine does not check it).
  if (!(open->access & GENERIC_WRITE)) {
    machine().lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  // Null, or a time of 0, leaves that time as it is; all ones only stops
  // later changes through the handle, which the sim does not make anyway.
  auto keeps = [](const FILETIME* time) {
    if (time == nullptr) return true;
    uint64_t value = fileTimeValue(*time);
    return value == 0 || value == ~0ull;
  };
  // The kernel's times are signed; anything past that range is refused.
  for (const FILETIME* time : {creationTime, lastAccessTime, lastWriteTime}) {
    if (!keeps(time) && (fileTimeValue(*time) >> 63) != 0) {
      machine().lastError = ERROR_INVALID_PARAMETER;
      return FALSE;
    }
  }
  if (sim::faultStrikes(sim::Fault::fileTimeSet, open->windowsPath)) return refused(ERROR_ACCESS_DENIED, FALSE);
  sim::noteDiskChange();
  timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_nsec = UTIME_OMIT;
  if (!keeps(lastAccessTime)) times[0] = timespecOf(fileTimeValue(*lastAccessTime));
  if (!keeps(lastWriteTime)) times[1] = timespecOf(fileTimeValue(*lastWriteTime));
  if (utimensat(AT_FDCWD, open->hostPath.c_str(), times, 0) != 0) {
    machine().lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  if (!keeps(creationTime)) fileState().creationTimes[open->hostPath] = fileTimeValue(*creationTime);
  return TRUE;
}

BOOL WINAPI GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
  const OpenFile* open = findHandle(file);
  if (open == nullptr || information == nullptr) {
    machine().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  // Only the object's identity: the volume and the file index.
  memset(information, 0, sizeof *information);
  information->dwVolumeSerialNumber = static_cast<DWORD>(open->device);
  information->nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(open->inode) >> 32);
  information->nFileIndexLow = static_cast<DWORD>(open->inode);
  information->nNumberOfLinks = 1;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object) {
  if (sim::closeTokenHandle(object)) return TRUE;
  if (findHandle(object) == nullptr) {
    if (sim::closeProcessHandle(object)) return TRUE;
    machine().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  fileState().openFiles.erase(reinterpret_cast<uintptr_t>(object));
  return TRUE;
}

namespace {

// openWindowsFile, and createNewWindowsFile when `onlyNew`: then anything
// at the name, a link included, refuses the open.
FILE* openStream(const char* path, const char* mode, bool onlyNew) {
  std::string host = sim::hostPath(path);
  if (host.empty()) {
    machine().lastError = ERROR_PATH_NOT_FOUND;
    errno = ENOENT;
    return nullptr;
  }
  auto hook = mode[0] == 'r' ? fileState().beforeOpen.end() : fileState().beforeOpen.find(host);
  if (hook != fileState().beforeOpen.end()) {
    std::function<void()> action = std::move(hook->second);
    fileState().beforeOpen.erase(hook);
    action();
  }
  struct stat named;
  if (onlyNew && lstat(host.c_str(), &named) == 0) {
    errno = EEXIST;
    return refused(ERROR_FILE_EXISTS, static_cast<FILE*>(nullptr));
  }
  bool update = strchr(mode, '+') != nullptr;
  DWORD access = (mode[0] == 'r' || update ? GENERIC_READ : 0) | (mode[0] != 'r' || update ? GENERIC_WRITE : 0);
  struct stat info;
  bool exists = hostStat(host, &info);
  // The C runtime opens a file through CreateFile sharing reading and
  // writing, and maps a refusal to EACCES, as it does for a folder.
  if (exists && S_ISDIR(info.st_mode)) {
    machine().lastError = ERROR_ACCESS_DENIED;
    errno = EACCES;
    return nullptr;
  }
  DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if (exists && sharingViolation(host, access, share)) {
    machine().lastError = ERROR_SHARING_VIOLATION;
    errno = EACCES;
    return nullptr;
  }
  if ((access & GENERIC_WRITE) && (exists || parentExists(host)) &&
      sim::faultStrikes(sim::Fault::fileOpenForWriting, path)) {
    errno = EACCES;
    return refused(ERROR_ACCESS_DENIED, static_cast<FILE*>(nullptr));
  }
  if (access & GENERIC_WRITE) {
    sim::noteDiskChange();
    sim::noteAboutToWrite(host);
  }
  FILE* hostFile = fopen(host.c_str(), mode);
  if (hostFile == nullptr) {
    machine().lastError = errno == ENOENT || errno == ENOTDIR ? notFoundError(host) : ERROR_ACCESS_DENIED;
    return nullptr;
  }
  setvbuf(hostFile, nullptr, _IONBF, 0);
  if (exists && mode[0] == 'w') giveSpaceBack(driveOf(path), static_cast<uint64_t>(info.st_size));
  if (!exists) fileState().creationTimes[host] = fileTimeNow();

  Stream* stream =
      new Stream{hostFile, path, driveOf(path), mode[0] == 'a', registerOpen(path, host, access, share, false)};
  cookie_io_functions_t functions = {streamRead, streamWrite, streamSeek, streamClose};
  FILE* file = fopencookie(stream, mode, functions);
  if (file == nullptr) {
    streamClose(stream);
    return nullptr;
  }
  fileState().programStreams[stream->openId] = file;
  return file;
}

}  // namespace

FILE* openWindowsFile(const char* path, const char* mode) { return openStream(path, mode, false); }

FILE* createNewWindowsFile(const char* path) { return openStream(path, "wb", true); }

HANDLE streamFileHandle(FILE* file) {
  for (const auto& stream : fileState().programStreams)
    if (stream.second == file) return reinterpret_cast<HANDLE>(stream.first);
  return INVALID_HANDLE_VALUE;
}

bool flushFileToDisk(FILE* file) {
  if (fflush(file) != 0) return false;
  for (const auto& stream : fileState().programStreams) {
    if (stream.second != file) continue;
    sim::noteDiskChange();
    sim::forgetUnflushed(fileState().openFiles[stream.first].hostPath);
    return true;
  }
  return false;
}

BOOL WINAPI GetDiskFreeSpaceA(LPCSTR rootPathName, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                              LPDWORD numberOfFreeClusters, LPDWORD totalNumberOfClusters) {
  // Only drive roots are simulated; a drive that does not exist has no root.
  if (rootPathName == nullptr || strlen(rootPathName) != 3 || rootPathName[1] != ':' ||
      (rootPathName[2] != '\\' && rootPathName[2] != '/') || !isHostFolder(sim::hostPath(rootPathName))) {
    machine().lastError = ERROR_PATH_NOT_FOUND;
    return FALSE;
  }
  // Clusters of 8 sectors of 512 bytes; what does not fill a cluster is not free.
  const DWORD kSectorsPerCluster = 8;
  const DWORD kBytesPerSector = 512;
  const uint64_t kClusterBytes = kSectorsPerCluster * kBytesPerSector;
  uint64_t freeClusters = sim::freeBytes(rootPathName[0]) / kClusterBytes;
  if (freeClusters > 0xFFFFFFFFull) freeClusters = 0xFFFFFFFFull;
  *sectorsPerCluster = kSectorsPerCluster;
  *bytesPerSector = kBytesPerSector;
  *numberOfFreeClusters = static_cast<DWORD>(freeClusters);
  *totalNumberOfClusters = static_cast<DWORD>(freeClusters > 0x00100000 ? freeClusters : 0x00100000);
  ++fileState().freeSpaceQueries;
  return TRUE;
}

// The host has no portable close-all; the program's own streams are all that
// matter, and flushing them is what the close is for.
void closeAllFileStreams(void) { fflush(nullptr); }

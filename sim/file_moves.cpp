// Copying and moving files on the simulated drives, and the moves Windows NT
// makes at its next start, kept where NT keeps them: the session manager's
// PendingFileRenameOperations, pairs of "\\??\\source" and "!\\??\\destination"
// ("!" to replace an existing file, an empty text to delete the source).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "sim/faults.h"
#include "sim/machine.h"

using sim::machine;

namespace {

const char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingMovesValue[] = "PendingFileRenameOperations";
const char kNtPrefix[] = "\\??\\";

struct MoveState {
  // What delayedMoves() last read from the registry.
  std::vector<sim::DelayedMove> delayedMoves;
};

MoveState& moveState() {
  static MoveState state;
  return state;
}

sim::ResetHook clearMoveState([] { moveState() = MoveState(); });

bool hostStat(const std::string& host, struct stat* info) { return !host.empty() && stat(host.c_str(), info) == 0; }

bool isHostFolder(const std::string& host) {
  struct stat info;
  return hostStat(host, &info) && S_ISDIR(info.st_mode);
}

std::string parentOf(const std::string& host) {
  size_t slash = host.rfind('/');
  return slash == std::string::npos ? "" : host.substr(0, slash);
}

// Windows tells a missing file in an existing folder from a missing folder.
DWORD notFoundError(const std::string& host) {
  return isHostFolder(parentOf(host)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

char driveOf(const char* windowsPath) { return static_cast<char>(toupper(static_cast<unsigned char>(windowsPath[0]))); }

bool fail(DWORD error) {
  machine().lastError = error;
  return false;
}

// Checks what copying or moving `source` onto `destination` needs; on success
// `sourceInfo` describes the source and `replacing` tells whether a file is
// in the way (which the caller must be allowed to replace).
bool checkTransfer(const char* source, const char* destination, struct stat* sourceInfo, bool* replacing) {
  if (source == nullptr || destination == nullptr) return fail(ERROR_INVALID_PARAMETER);
  std::string from = sim::hostPath(source);
  std::string to = sim::hostPath(destination);
  if (from.empty() || to.empty()) return fail(ERROR_PATH_NOT_FOUND);
  if (!hostStat(from, sourceInfo)) return fail(notFoundError(from));
  if (!isHostFolder(parentOf(to))) return fail(ERROR_PATH_NOT_FOUND);
  struct stat destinationInfo;
  *replacing = hostStat(to, &destinationInfo);
  if (*replacing && S_ISDIR(destinationInfo.st_mode)) return fail(ERROR_ACCESS_DENIED);
  return true;
}

// Copies the bytes and the last-write time, and takes the space from the
// destination's drive; a file replaced gives its space back.
bool copyContents(const char* source, const char* destination, const struct stat& sourceInfo, bool replacing) {
  std::string from = sim::hostPath(source);
  std::string to = sim::hostPath(destination);
  uint64_t size = static_cast<uint64_t>(sourceInfo.st_size);
  uint64_t replaced = 0;
  struct stat destinationInfo;
  if (replacing && hostStat(to, &destinationInfo)) replaced = static_cast<uint64_t>(destinationInfo.st_size);
  char drive = driveOf(destination);
  if (size > sim::freeBytes(drive) + replaced) return fail(ERROR_DISK_FULL);
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  out.close();
  if (!in || !out) return fail(ERROR_ACCESS_DENIED);
  struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
  utimensat(AT_FDCWD, to.c_str(), times, 0);
  sim::setFreeBytes(drive, sim::freeBytes(drive) + replaced - size);
  return true;
}

}  // namespace

namespace sim {

const std::vector<DelayedMove>& delayedMoves() {
  std::vector<DelayedMove>& moves = moveState().delayedMoves;
  moves.clear();
  RegistryValue pending;
  if (!registryValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingMovesValue, &pending)) return moves;
  std::vector<std::string> texts;
  for (size_t start = 0; start < pending.data.size();) {
    size_t end = pending.data.find('\0', start);
    if (end == std::string::npos) end = pending.data.size();
    texts.push_back(pending.data.substr(start, end - start));
    start = end + 1;
  }
  // The list ends with an empty text after the last pair.
  for (size_t i = 0; i + 1 < texts.size(); i += 2) {
    std::string source = texts[i];
    std::string destination = texts[i + 1];
    DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT;
    if (!destination.empty() && destination[0] == '!') {
      flags |= MOVEFILE_REPLACE_EXISTING;
      destination.erase(0, 1);
    }
    for (std::string* path : {&source, &destination})
      if (path->compare(0, strlen(kNtPrefix), kNtPrefix) == 0) path->erase(0, strlen(kNtPrefix));
    moves.push_back(DelayedMove{source, destination, flags});
  }
  return moves;
}

}  // namespace sim

BOOL WINAPI CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists) {
  struct stat sourceInfo;
  bool replacing = false;
  if (!checkTransfer(existingFileName, newFileName, &sourceInfo, &replacing)) return FALSE;
  if (S_ISDIR(sourceInfo.st_mode)) return fail(ERROR_ACCESS_DENIED);
  if (replacing && failIfExists) return fail(ERROR_FILE_EXISTS);
  // Copying a file onto itself, or onto one another program holds open,
  // cannot open the destination for writing.
  if (sim::hostPath(existingFileName) == sim::hostPath(newFileName) || (replacing && sim::isLocked(newFileName)))
    return fail(ERROR_SHARING_VIOLATION);
  if (sim::faultStrikes(sim::Fault::fileCopy, newFileName)) return fail(ERROR_DISK_FULL);
  sim::noteDiskChange();
  sim::forgetUnflushed(sim::hostPath(newFileName));
  return copyContents(existingFileName, newFileName, sourceInfo, replacing) ? TRUE : FALSE;
}

namespace {
// The move that MoveFileA and MoveFileExA (without a delay) make.
bool moveNow(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags);
}  // namespace

BOOL WINAPI MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
  // Windows 95, 98 and ME have the function but do not implement it; their
  // programs schedule moves in wininit.ini instead.
  if (sim::windowsFamily() != sim::WindowsFamily::NT) return fail(ERROR_CALL_NOT_IMPLEMENTED);
  if (existingFileName == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    // Only noted: the session manager makes the move at the next start, and
    // a missing destination means the file is deleted then.
    if (flags & MOVEFILE_COPY_ALLOWED) return fail(ERROR_INVALID_PARAMETER);
    if (sim::faultStrikes(sim::Fault::moveOnRestart, existingFileName)) return fail(ERROR_ACCESS_DENIED);
    sim::RegistryValue pending{REG_MULTI_SZ, std::string(1, '\0')};
    sim::registryValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingMovesValue, &pending);
    std::string pair = kNtPrefix + std::string(existingFileName) + '\0';
    if (newFileName != nullptr)
      pair += ((flags & MOVEFILE_REPLACE_EXISTING) ? "!" : "") + std::string(kNtPrefix) + newFileName;
    pair += '\0';
    // Appended before the zero that ends the list.
    pending.data.insert(pending.data.empty() ? 0 : pending.data.size() - 1, pair);
    sim::setRegistryValue(HKEY_LOCAL_MACHINE, kSessionManagerKey, kPendingMovesValue, REG_MULTI_SZ, pending.data);
    return TRUE;
  }
  return moveNow(existingFileName, newFileName, flags) ? TRUE : FALSE;
}

// Every Windows has it: a rename within a drive, a copy and delete across
// drives, and never onto an existing file.
BOOL WINAPI MoveFileA(LPCSTR existingFileName, LPCSTR newFileName) {
  if (existingFileName == nullptr) return fail(ERROR_INVALID_PARAMETER);
  return moveNow(existingFileName, newFileName, MOVEFILE_COPY_ALLOWED) ? TRUE : FALSE;
}

namespace {

bool moveNow(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
  struct stat sourceInfo;
  bool replacing = false;
  if (!checkTransfer(existingFileName, newFileName, &sourceInfo, &replacing)) return FALSE;
  std::string from = sim::hostPath(existingFileName);
  std::string to = sim::hostPath(newFileName);
  if (from == to) return TRUE;
  if (replacing && !(flags & MOVEFILE_REPLACE_EXISTING)) return fail(ERROR_ALREADY_EXISTS);
  // A rename needs delete access: any open handle without delete sharing,
  // the program's own included, refuses it.
  if (sim::heldAgainstDeletion(existingFileName) || (replacing && sim::heldAgainstDeletion(newFileName)))
    return fail(ERROR_SHARING_VIOLATION);
  if (S_ISDIR(sourceInfo.st_mode) && sim::openBelow(existingFileName)) return fail(ERROR_ACCESS_DENIED);
  sim::noteDiskChange();
  if (driveOf(existingFileName) == driveOf(newFileName)) {
    if (rename(from.c_str(), to.c_str()) != 0) return fail(ERROR_ACCESS_DENIED);
    sim::noteRenamed(from, to);
    return TRUE;
  }
  if (!(flags & MOVEFILE_COPY_ALLOWED)) return fail(ERROR_NOT_SAME_DEVICE);
  if (S_ISDIR(sourceInfo.st_mode)) return fail(ERROR_ACCESS_DENIED);
  if (!copyContents(existingFileName, newFileName, sourceInfo, replacing)) return FALSE;
  unlink(from.c_str());
  sim::noteRenamed(from, to);
  char drive = driveOf(existingFileName);
  sim::setFreeBytes(drive, sim::freeBytes(drive) + static_cast<uint64_t>(sourceInfo.st_size));
  return TRUE;
}

}  // namespace

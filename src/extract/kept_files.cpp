#include "extract/kept_files.h"

#include <cstring>

#include "base/paths.h"
#include "platform/win32.h"
#include "base/context.h"
#include "base/fatal.h"

namespace {

constexpr char kBackupFolderName[] = "_vmkept";
constexpr char kBackupPattern[] = "????.bak";
constexpr char kBackupFormat[] = "%04d.bak";
constexpr char kBackupSuffix[] = ".bak";
constexpr int32_t kBackupDigits = 4;
constexpr int32_t kMostBackups = 10000;
constexpr char kJournalSeparator = '|';
constexpr char kJournalLineFormat[] = "%s|%s\r\n";
// A journal line: a backup name, the separator, a path and CR LF.
constexpr int32_t kLineBufferSize = kPathBufferSize + 32;
// A journal longer than this many bytes was not written by the program.
constexpr long kLongestJournal = static_cast<long>(kMostBackups) * kLineBufferSize;

// The number the next backup of this run tries first: names are taken in
// order, so a run looks at each name once.
int32_t nextBackupNumber = 0;

bool folderItemPath(const char* folder, const char* name, char* path) {
  if (strlen(folder) >= static_cast<size_t>(kPathBufferSize)) return false;
  strcpy(path, folder);
  return joinPath(path, name);
}

bool isBackupName(const char* name) {
  if (strlen(name) != kBackupDigits + strlen(kBackupSuffix)) return false;
  if (!pathsEqualIgnoringCase(name + kBackupDigits, kBackupSuffix)) return false;
  for (int32_t i = 0; i < kBackupDigits; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

// `path` as the journal names it: relative to `folder`, so that a line still
// finds its file once the folder was renamed or is reached by another drive
// letter. Null for a path that does not begin with the folder as given.
const char* pathBelowFolder(const char* path, const char* folder) {
  size_t length = strlen(folder);
  if (length >= static_cast<size_t>(kPathBufferSize) || !isPathInsideFolder(path, folder)) return nullptr;
  char start[kPathBufferSize];
  memcpy(start, path, length);
  start[length] = '\0';
  if (!pathsEqualIgnoringCase(start, folder)) return nullptr;
  const char* rest = path + length;
  while (isPathSeparator(*rest)) ++rest;
  return isContainedRelativePath(rest) ? rest : nullptr;
}

bool appendToJournal(const char* folder, const char* backupName, const char* original) {
  char journal[kPathBufferSize];
  char line[kLineBufferSize];
  if (!folderItemPath(folder, kKeptJournalName, journal)) return false;
  if (formatText(line, sizeof line, kJournalLineFormat, backupName, original) < 0) return false;
  FILE* file = openWindowsFile(journal, "ab");
  if (file == nullptr) return false;
  // Only a journal line that is on the disk may be followed by the move: a
  // power failure could otherwise keep the move and lose the line, and the
  // backup would be swept as a leftover.
  bool written = fputs(line, file) >= 0 && flushFileToDisk(file);
  if (fclose(file) != 0) written = false;
  return written;
}

// The journal's whole text, zero-terminated, in a block the caller frees;
// null when there is none or it cannot be read.
char* readJournal(const char* journal) {
  FILE* file = openWindowsFile(journal, "rb");
  if (file == nullptr) return nullptr;
  char* text = nullptr;
  long size = fseek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
  if (size >= 0 && size <= kLongestJournal && fseek(file, 0, SEEK_SET) == 0) {
    text = static_cast<char*>(allocateBlock(static_cast<int32_t>(size) + 1));
    if (text != nullptr) {
      if (fread(text, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size)) {
        text[size] = '\0';
      } else {
        freeBlock(text);
        text = nullptr;
      }
    }
  }
  fclose(file);
  return text;
}

// Puts one backup back in place of its original. True when it is back, or
// when there is nothing of it to put back: a line cut short by a failed
// write, one naming no backup of this program's, or one whose move never
// happened or was undone before. False when a backup waits and cannot go
// back: the journal must stay.
bool restoreLine(const char* folder, char* line) {
  char* separator = strchr(line, kJournalSeparator);
  if (separator == nullptr) return true;
  *separator = '\0';
  const char* name = line;
  const char* relative = separator + 1;
  char backups[kPathBufferSize];
  char backup[kPathBufferSize];
  if (!isBackupName(name) || !folderItemPath(folder, kBackupFolderName, backups) ||
      !folderItemPath(backups, name, backup) || !pathExists(backup))
    return true;
  char original[kPathBufferSize];
  // Nothing is put back outside the folder, or through a junction or link
  // planted since.
  if (!isContainedRelativePath(relative) || !folderItemPath(folder, relative, original) ||
      passesReparsePoint(original, folder, false) || passesReparsePoint(backup, folder, true))
    return false;
  // What this run wrote in its place goes first: MoveFileA never replaces,
  // and Windows 95 to ME have no MoveFileExA.
  if (pathExists(original) && !DeleteFileA(original)) return false;
  return MoveFileA(backup, original) != FALSE;
}

// Deletes the backups and their folder; there is no journal any more, so
// none of them is anything but a leftover. Only the backup folder is swept,
// and only names of backups: anything else in it keeps the folder.
void deleteBackups(const char* folder) {
  char backups[kPathBufferSize];
  char pattern[kPathBufferSize];
  if (!folderItemPath(folder, kBackupFolderName, backups) || !folderItemPath(backups, kBackupPattern, pattern))
    return;
  // A junction in its place leads to someone else's files.
  if (!pathExists(backups) || passesReparsePoint(backups, folder, true)) return;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      char backup[kPathBufferSize];
      // The pattern's ? also matches letters: such a name is someone else's.
      if (isBackupName(found.cFileName) && folderItemPath(backups, found.cFileName, backup)) DeleteFileA(backup);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(backups);
}

}  // namespace

bool keepAside(const char* path) {
  const char* folder = installOptions.targetFolder;
  ENSURE(memchr(folder, '\0', sizeof installOptions.targetFolder) != nullptr);
  const char* relative = pathBelowFolder(path, folder);
  char backups[kPathBufferSize];
  if (relative == nullptr || !folderItemPath(folder, kBackupFolderName, backups)) return false;
  // The backups' folder is this program's own; one that is a junction (a
  // user planted it) would take the backups elsewhere.
  if (passesReparsePoint(backups, folder, true)) return false;
  if (!CreateDirectoryA(backups, nullptr) && (fileExists(backups) || !pathExists(backups))) return false;
  for (; nextBackupNumber < kMostBackups; ++nextBackupNumber) {
    char name[sizeof "0000.bak"];
    char backup[kPathBufferSize];
    formatText(name, sizeof name, kBackupFormat, nextBackupNumber);
    if (!folderItemPath(backups, name, backup)) return false;
    if (pathExists(backup)) continue;
    ++nextBackupNumber;
    return appendToJournal(folder, name, relative) && MoveFileA(path, backup) != FALSE;
  }
  return false;
}

void restoreKeptFiles(const char* folder) {
  nextBackupNumber = 0;
  char journal[kPathBufferSize];
  if (!folderItemPath(folder, kKeptJournalName, journal)) return;
  if (pathExists(journal)) {
    char* text = readJournal(journal);
    if (text == nullptr) return;
    // Newest first: the lines from the last to the first.
    bool allBack = true;
    size_t end = strlen(text);
    while (end > 0) {
      // The line before `end`, without its own line feed and carriage return.
      size_t lineEnd = text[end - 1] == '\n' ? end - 1 : end;
      size_t start = lineEnd;
      while (start > 0 && text[start - 1] != '\n') --start;
      if (lineEnd > start && text[lineEnd - 1] == '\r') --lineEnd;
      text[lineEnd] = '\0';
      if (!restoreLine(folder, text + start)) allBack = false;
      end = start;
    }
    freeBlock(text);
    // A backup that could not go back stays named in the journal, for the
    // next run to try again.
    if (!allBack || !DeleteFileA(journal)) return;
  }
  deleteBackups(folder);
}

bool discardKeptFiles(const char* folder) {
  nextBackupNumber = 0;
  char journal[kPathBufferSize];
  // A folder whose journal cannot be named kept nothing aside.
  if (!folderItemPath(folder, kKeptJournalName, journal)) return true;
  // With the journal still listing them, the backups would be put back over
  // the saved installation by the next run: they stay a roll-back's until
  // it is gone or empty.
  if (pathExists(journal) && !DeleteFileA(journal)) {
    FILE* emptied = openWindowsFile(journal, "wb");
    if (emptied == nullptr) return false;
    bool empty = flushFileToDisk(emptied);
    if (fclose(emptied) != 0 || !empty) return false;
  }
  deleteBackups(folder);
  return true;
}

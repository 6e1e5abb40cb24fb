#include "extract/kept_files.h"

#include <cstring>

#include "base/paths.h"
#include "platform/win32.h"
#include "base/context.h"
#include "base/fatal.h"

namespace {

constexpr char kBackupPattern[] = "_vmb????.bak";
constexpr char kBackupFormat[] = "_vmb%04d.bak";
constexpr char kBackupPrefix[] = "_vmb";
constexpr char kBackupSuffix[] = ".bak";
constexpr int32_t kBackupDigits = 4;
constexpr int32_t kMostBackups = 10000;
constexpr char kJournalSeparator = '|';
constexpr char kJournalLineFormat[] = "%s|%s\r\n";
// A journal line: a backup name, the separator, a full path and CR LF.
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
  size_t prefix = strlen(kBackupPrefix);
  if (strlen(name) != prefix + kBackupDigits + strlen(kBackupSuffix)) return false;
  if (!pathsEqualIgnoringCase(name + prefix + kBackupDigits, kBackupSuffix)) return false;
  for (size_t i = 0; i < prefix; ++i)
    if ((name[i] | 0x20) != (kBackupPrefix[i] | 0x20)) return false;
  for (size_t i = prefix; i < prefix + kBackupDigits; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

bool appendToJournal(const char* folder, const char* backupName, const char* original) {
  char journal[kPathBufferSize];
  char line[kLineBufferSize];
  if (!folderItemPath(folder, kKeptJournalName, journal)) return false;
  if (formatText(line, sizeof line, kJournalLineFormat, backupName, original) < 0) return false;
  FILE* file = openWindowsFile(journal, "ab");
  if (file == nullptr) return false;
  bool written = fputs(line, file) >= 0;
  // Only a journal line that reached the file may be followed by the move.
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
// when there is nothing of it to put back (its move never happened, or it was
// put back before).
bool restoreLine(const char* folder, char* line) {
  char* separator = strchr(line, kJournalSeparator);
  if (separator == nullptr) return true;
  *separator = '\0';
  const char* name = line;
  const char* original = separator + 1;
  // A line cut short by a failed write, or one the program did not write.
  if (!isBackupName(name) || strlen(original) >= static_cast<size_t>(kPathBufferSize) ||
      !isPathInsideFolder(original, folder))
    return true;
  // Nothing is put back through a junction or link planted since.
  if (passesReparsePoint(original, folder, false)) return true;
  char backup[kPathBufferSize];
  if (!folderItemPath(folder, name, backup) || !pathExists(backup)) return true;
  // What this run wrote in its place goes first: MoveFileA never replaces,
  // and Windows 95 to ME have no MoveFileExA.
  if (pathExists(original) && !DeleteFileA(original)) return false;
  return MoveFileA(backup, original) != FALSE;
}

// Deletes every backup name in the folder; there is no journal any more, so
// none of them is anything but a leftover.
void deleteBackups(const char* folder) {
  char pattern[kPathBufferSize];
  if (!folderItemPath(folder, kBackupPattern, pattern)) return;
  for (int32_t i = 0; i < kMostBackups; ++i) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    FindClose(search);
    char backup[kPathBufferSize];
    // The pattern's ? also matches letters: such a name is someone else's.
    if (!isBackupName(found.cFileName) || !folderItemPath(folder, found.cFileName, backup) ||
        !DeleteFileA(backup))
      return;
  }
}

}  // namespace

bool keepAside(const char* path) {
  const char* folder = installOptions.targetFolder;
  ENSURE(memchr(folder, '\0', sizeof installOptions.targetFolder) != nullptr);
  for (; nextBackupNumber < kMostBackups; ++nextBackupNumber) {
    char name[sizeof "_vmb0000.bak"];
    char backup[kPathBufferSize];
    formatText(name, sizeof name, kBackupFormat, nextBackupNumber);
    if (!folderItemPath(folder, name, backup)) return false;
    if (pathExists(backup)) continue;
    ++nextBackupNumber;
    return appendToJournal(folder, name, path) && MoveFileA(path, backup) != FALSE;
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
    if (emptied == nullptr || fclose(emptied) != 0) return false;
  }
  deleteBackups(folder);
  return true;
}

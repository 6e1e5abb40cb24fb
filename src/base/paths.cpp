#include "base/paths.h"

#include <cstring>

#include "platform/win32.h"
#include "base/fatal.h"

bool isPathSeparator(char ch) { return ch == '\\' || ch == '/'; }

bool isDriveRootedPath(const char* path) {
  char letter = path[0];
  bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
  return isLetter && path[1] == ':' && isPathSeparator(path[2]);
}

bool joinPath(char* buffer, const char* name) {
  size_t a = strlen(buffer);
  size_t b = strlen(name);
  bool addSeparator = a > 0 && !isPathSeparator(buffer[a - 1]);
  if (addSeparator && a >= kPathBufferSize - 1) return false;
  if (a + (addSeparator ? 1 : 0) + b >= kPathBufferSize) return false;
  if (addSeparator) buffer[a++] = '\\';
  memcpy(buffer + a, name, b + 1);
  return true;
}

namespace {

// What a folder lists for `path`; false when nothing is there.
bool findEntry(const char* path, WIN32_FIND_DATAA* found) {
  HANDLE search = FindFirstFileA(path, found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

}  // namespace

bool pathExists(const char* path) {
  WIN32_FIND_DATAA found;
  return findEntry(path, &found);
}

bool fileExists(const char* path) {
  WIN32_FIND_DATAA found;
  return findEntry(path, &found) && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool passesReparsePoint(const char* path, const char* folder, bool includingLast, bool* lastIsFile) {
  if (lastIsFile != nullptr) *lastIsFile = false;
  if (!isPathInsideFolder(path, folder)) return true;
  size_t length = strlen(path);
  ENSURE(length < static_cast<size_t>(kPathBufferSize));
  char level[kPathBufferSize];
  // Every prefix of the path that ends at a separator, or at its end, and
  // names something inside the folder, however the folder is spelt in it.
  for (size_t end = 1; end <= length; ++end) {
    bool last = end == length;
    if (!last && !isPathSeparator(path[end])) continue;
    if (last && !includingLast) break;
    memcpy(level, path, end);
    level[end] = '\0';
    if (!isPathInsideFolder(level, folder)) continue;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(level, &found);
    // Nothing further down exists either.
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
    if (last && lastIsFile != nullptr) *lastIsFile = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  return false;
}

bool createDirectoryPath(const char* path) {
  if (!isDriveRootedPath(path)) return false;
  size_t length = strlen(path);
  // A level can never be longer than the path it is taken from, so a path
  // too long for a buffer cannot be created either.
  if (length >= kPathBufferSize) return false;
  size_t position = 3;
  while (path[position] != '\0') {
    if (isPathSeparator(path[position])) {
      ++position;
      continue;
    }
    while (path[position] != '\0' && !isPathSeparator(path[position])) ++position;
    char level[kPathBufferSize];
    memcpy(level, path, position);
    level[position] = '\0';
    // A level that exists already, as a folder or as a file, answers
    // ERROR_ALREADY_EXISTS; a file in the middle then fails at the next level.
    if (!CreateDirectoryA(level, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return true;
}

namespace {

char foldCase(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

// Steps over the separators at `p` and returns the length of the level that
// starts there (0 at the end of the text).
size_t nextLevel(const char*& p) {
  while (isPathSeparator(*p)) ++p;
  size_t length = 0;
  while (p[length] != '\0' && !isPathSeparator(p[length])) ++length;
  return length;
}

bool levelsEqual(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (foldCase(a[i]) != foldCase(b[i])) return false;
  }
  return true;
}

// Windows resolves "." and ".." and drops trailing dots and spaces of a
// level, so a level made of nothing else may point anywhere.
bool isDotsLevel(const char* level, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (level[i] != '.' && level[i] != ' ') return false;
  }
  return true;
}

}  // namespace

bool pathsEqualIgnoringCase(const char* a, const char* b) {
  while (*a != '\0' && foldCase(*a) == foldCase(*b)) {
    ++a;
    ++b;
  }
  return *a == *b;
}

bool isPathInsideFolder(const char* path, const char* folder) {
  // Network and drive-relative forms resolve against other roots than their
  // text suggests.
  if (!isDriveRootedPath(path) || !isDriveRootedPath(folder)) return false;
  // The folder's levels must reappear one by one at the front of the path.
  for (;;) {
    size_t folderLength = nextLevel(folder);
    if (folderLength == 0) break;
    size_t pathLength = nextLevel(path);
    if (pathLength != folderLength || !levelsEqual(path, folder, folderLength)) return false;
    path += pathLength;
    folder += folderLength;
  }
  size_t extraLevels = 0;
  for (;;) {
    size_t length = nextLevel(path);
    if (length == 0) break;
    if (isDotsLevel(path, length)) return false;
    path += length;
    ++extraLevels;
  }
  return extraLevels > 0;
}

bool isContainedRelativePath(const char* name) {
  if (name[0] == '\0' || isPathSeparator(name[0])) return false;
  // Windows takes whatever stands before a colon in second place for a
  // drive, a letter or not.
  if (name[1] == ':') return false;
  const char* p = name;
  for (;;) {
    size_t length = nextLevel(p);
    if (length == 0) return true;
    if (isDotsLevel(p, length)) return false;
    p += length;
  }
}

bool pathsNameSameFolder(const char* a, const char* b) {
  if (!isDriveRootedPath(a) || !isDriveRootedPath(b)) return false;
  for (;;) {
    size_t aLength = nextLevel(a);
    size_t bLength = nextLevel(b);
    if (aLength != bLength) return false;
    if (aLength == 0) return true;
    if (!levelsEqual(a, b, aLength) || isDotsLevel(a, aLength)) return false;
    a += aLength;
    b += bLength;
  }
}

void copyFolderOfPath(const char* path, char* folder) {
  size_t length = strlen(path);
  ENSURE(length < kPathBufferSize);
  while (length > 0 && !isPathSeparator(path[length - 1])) --length;
  while (length > 3 && isPathSeparator(path[length - 1])) --length;
  memcpy(folder, path, length);
  folder[length] = '\0';
}

bool normalisePath(const char* path, char* normal) {
  if (!isDriveRootedPath(path)) return false;
  char full[kPathBufferSize];
  DWORD length = GetFullPathNameA(path, kPathBufferSize, full, nullptr);
  if (length == 0 || length >= kPathBufferSize) return false;
  // Level by level, as GetLongPathNameA would (Windows 95 and NT 4 lack it):
  // the folder's own entry for each level that exists, the rest as it is.
  char result[kPathBufferSize];
  memcpy(result, full, 3);
  result[3] = '\0';
  if (result[0] >= 'a' && result[0] <= 'z') result[0] = static_cast<char>(result[0] - 'a' + 'A');
  const char* rest = full + 3;
  // Once a level is missing, those below it are missing too and keep their
  // full form.
  bool exists = true;
  for (size_t levelLength; (levelLength = nextLevel(rest)) > 0; rest += levelLength) {
    char level[kPathBufferSize];
    memcpy(level, rest, levelLength);
    level[levelLength] = '\0';
    if (exists) {
      char candidate[kPathBufferSize];
      memcpy(candidate, result, strlen(result) + 1);
      if (!joinPath(candidate, level)) return false;
      WIN32_FIND_DATAA entry;
      // A wildcard would find some other name.
      exists = strpbrk(level, "*?") == nullptr && findEntry(candidate, &entry);
      if (exists) memcpy(level, entry.cFileName, strlen(entry.cFileName) + 1);
    }
    if (!joinPath(result, level)) return false;
  }
  memcpy(normal, result, strlen(result) + 1);
  return true;
}

bool isFileInNormalFolder(const char* path, const char* normalFolder) {
  char folder[kPathBufferSize];
  copyFolderOfPath(path, folder);
  return namesNormalFolder(folder, normalFolder);
}

bool namesNormalFolder(const char* path, const char* normalFolder) {
  if (pathsNameSameFolder(path, normalFolder)) return true;
  char normal[kPathBufferSize];
  return normalisePath(path, normal) && pathsNameSameFolder(normal, normalFolder);
}

#include "install/paths.h"

#include <cstring>

#include "platform/win32.h"

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

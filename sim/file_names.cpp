// Looking files up by name, and the short (8.3) names of the simulated
// drives. A name that is not a legal 8.3 name gets an alias of the form
// NAME~1.EXT as NTFS makes them: the first letters of the name without
// spaces and dots, a number unique in the folder, the first three letters of
// the extension. Aliases are handed out per folder in the order of the names
// the first time the folder is looked at, and kept from then on.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "sim/machine.h"

using sim::machine;

namespace {

// A search's matches in the order FindFirstFileA and FindNextFileA hand
// them out.
struct FindRecord {
  std::string hostFolder;
  std::vector<std::string> names;
  size_t next;
};

struct NameState {
  // host folder -> lower-case long name -> alias
  std::map<std::string, std::map<std::string, std::string>> aliases;
  std::set<FindRecord*> openFinds;
};

NameState& nameState() {
  static NameState state;
  return state;
}

sim::ResetHook clearNameState([] {
  for (FindRecord* find : nameState().openFinds) delete find;
  nameState() = NameState();
});

bool isSeparator(char ch) { return ch == '\\' || ch == '/'; }

std::string lowerCase(std::string text) {
  for (char& ch : text) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  return text;
}

std::string upperCase(std::string text) {
  for (char& ch : text) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  return text;
}

// Characters that no 8.3 name may hold.
bool isIllegalShortChar(char ch) {
  return strchr(" \"*+,/:;<=>?[\\]|", ch) != nullptr || static_cast<unsigned char>(ch) < 0x20;
}

// One to eight characters, optionally a dot and one to three more, none of
// them illegal. Case does not matter, as on NTFS.
bool isLegalShortName(const std::string& name) {
  if (name == "." || name == "..") return true;
  size_t dot = name.find('.');
  std::string base = name.substr(0, dot);
  std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
  if (dot != std::string::npos && (extension.empty() || extension.find('.') != std::string::npos)) return false;
  for (char ch : base + extension) {
    if (isIllegalShortChar(ch)) return false;
  }
  return true;
}

// The letters an alias is made from: upper case, without spaces and dots, with
// the other illegal characters as underscores.
std::string aliasLetters(const std::string& text) {
  std::string letters;
  for (char ch : text) {
    if (ch == ' ' || ch == '.') continue;
    letters += isIllegalShortChar(ch) ? '_' : static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  }
  return letters;
}

std::vector<std::string> folderEntries(const std::string& hostFolder) {
  std::vector<std::string> names;
  DIR* dir = opendir(hostFolder.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return lowerCase(a) < lowerCase(b); });
  return names;
}

// Gives every long name of the folder that has none yet its alias.
std::map<std::string, std::string>& folderAliases(const std::string& hostFolder) {
  std::map<std::string, std::string>& aliases = nameState().aliases[hostFolder];
  std::vector<std::string> names = folderEntries(hostFolder);
  std::set<std::string> taken;
  for (const std::string& name : names) taken.insert(upperCase(name));
  for (const auto& given : aliases) taken.insert(given.second);
  for (const std::string& name : names) {
    if (isLegalShortName(name) || aliases.count(lowerCase(name)) != 0) continue;
    size_t dot = name.rfind('.');
    if (dot == 0) dot = std::string::npos;  // a leading dot starts no extension
    std::string base = aliasLetters(name.substr(0, dot));
    std::string extension = dot == std::string::npos ? "" : aliasLetters(name.substr(dot + 1)).substr(0, 3);
    if (base.empty()) base = "_";
    for (int number = 1;; ++number) {
      std::string suffix = "~" + std::to_string(number);
      std::string alias = base.substr(0, 8 - suffix.size()) + suffix;
      if (!extension.empty()) alias += "." + extension;
      if (taken.insert(alias).second) {
        aliases[lowerCase(name)] = alias;
        break;
      }
    }
  }
  return aliases;
}

// The short form of an existing name in a host folder: the name itself when
// it is a legal 8.3 name, else its alias.
std::string shortNameIn(const std::string& hostFolder, const std::string& name) {
  if (isLegalShortName(name)) return name;
  return folderAliases(hostFolder)[lowerCase(name)];
}

// Finds `name` in the host folder without regard to case, by its long name
// or its alias; empty when absent.
std::string entryNamed(const std::string& hostFolder, const std::string& name) {
  // The name as spelt is there: no other entry can match it, since names
  // in a folder differ in more than case. Only a miss reads the folder.
  struct stat info;
  if (!name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos && lstat((hostFolder + "/" + name).c_str(), &info) == 0)
    return name;
  if (DIR* dir = opendir(hostFolder.c_str())) {
    std::string found;
    while (dirent* entry = readdir(dir)) {
      if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0 &&
          strcasecmp(entry->d_name, name.c_str()) == 0) {
        found = entry->d_name;
        break;
      }
    }
    closedir(dir);
    if (!found.empty()) return found;
  }
  return name.find('~') != std::string::npos ? sim::entryWithAlias(hostFolder, name) : "";
}

// "*" and "?" as Windows matches them against a long name, ignoring case.
bool wildcardMatch(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') {
    for (const char* rest = name;; ++rest) {
      if (wildcardMatch(pattern + 1, rest)) return true;
      if (*rest == '\0') return false;
    }
  }
  if (*name == '\0') return false;
  if (*pattern != '?' && tolower(static_cast<unsigned char>(*pattern)) != tolower(static_cast<unsigned char>(*name)))
    return false;
  return wildcardMatch(pattern + 1, name + 1);
}

uint64_t fileTimeOf(const struct timespec& time) {
  const uint64_t kSecondsFrom1601To1970 = 11644473600ull;
  return (static_cast<uint64_t>(time.tv_sec) + kSecondsFrom1601To1970) * 10000000ull +
         static_cast<uint64_t>(time.tv_nsec) / 100;
}

void setFileTime(FILETIME* out, uint64_t value) {
  out->dwLowDateTime = static_cast<DWORD>(value);
  out->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

void describe(const std::string& hostFolder, const std::string& name, WIN32_FIND_DATAA* data) {
  memset(data, 0, sizeof *data);
  // A link (a junction or symbolic link) is described by what it leads to,
  // or by itself where that is gone; anything else by itself.
  std::string entry = hostFolder + "/" + name;
  struct stat info;
  bool link = lstat(entry.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
  if (link) stat(entry.c_str(), &info);
  data->dwFileAttributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (link) data->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  setFileTime(&data->ftCreationTime, fileTimeOf(info.st_mtim));
  setFileTime(&data->ftLastAccessTime, fileTimeOf(info.st_atim));
  setFileTime(&data->ftLastWriteTime, fileTimeOf(info.st_mtim));
  uint64_t size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  snprintf(data->cFileName, sizeof data->cFileName, "%s", name.c_str());
  if (!isLegalShortName(name)) {
    snprintf(data->cAlternateFileName, sizeof data->cAlternateFileName, "%s", shortNameIn(hostFolder, name).c_str());
  }
}

bool isDriveRooted(const char* path) {
  return path != nullptr && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && isSeparator(path[2]);
}

}  // namespace

namespace sim {

std::string entryWithAlias(const std::string& hostFolder, const std::string& alias) {
  for (const auto& given : folderAliases(hostFolder)) {
    if (strcasecmp(given.second.c_str(), alias.c_str()) == 0) {
      // The map holds the long name in lower case: the entry keeps its own.
      for (const std::string& entry : folderEntries(hostFolder))
        if (lowerCase(entry) == given.first) return entry;
    }
  }
  return "";
}

int openFindHandleCount() { return static_cast<int>(nameState().openFinds.size()); }

}  // namespace sim

// Finds the first entry of a folder whose name matches the last level of
// `fileName`. Wildcards are matched against long names only, and "." and
// ".." are never reported.
HANDLE WINAPI FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
  if (!isDriveRooted(fileName)) {
    machine().lastError = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  std::string path = fileName;
  size_t last = path.find_last_of("\\/");
  std::string pattern = path.substr(last + 1);
  // A path that ends in a separator names no file, the root included.
  if (pattern.empty()) {
    machine().lastError = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  std::string hostFolder = sim::hostPath(path.substr(0, last + 1));
  bool wildcard = pattern.find_first_of("*?") != std::string::npos;
  // Windows drops the trailing dots and spaces of a name.
  while (!wildcard && !pattern.empty() && (pattern.back() == '.' || pattern.back() == ' ')) pattern.pop_back();
  // A name there as spelt is the only match, and shows that its folder is
  // there too: one look for both.
  struct stat info;
  bool spelt = !wildcard && !hostFolder.empty() && !pattern.empty() && pattern != "." && pattern != ".." &&
               lstat((hostFolder + "/" + pattern).c_str(), &info) == 0;
  if (!spelt && (hostFolder.empty() || stat(hostFolder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))) {
    machine().lastError = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  std::vector<std::string> matches;
  if (!wildcard) {
    std::string found = spelt ? pattern : entryNamed(hostFolder, pattern);
    if (!found.empty()) matches.push_back(found);
  } else {
    // A folder below a drive's root lists itself and its parent first.
    if (hostFolder.size() > machine().root.size() + 3) {
      for (const char* dots : {".", ".."})
        if (wildcardMatch(pattern.c_str(), dots)) matches.push_back(dots);
    }
    for (const std::string& entry : folderEntries(hostFolder)) {
      if (wildcardMatch(pattern.c_str(), entry.c_str())) matches.push_back(entry);
    }
  }
  if (matches.empty()) {
    machine().lastError = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  describe(hostFolder, matches[0], findData);
  FindRecord* find = new FindRecord{hostFolder, matches, 1};
  nameState().openFinds.insert(find);
  return reinterpret_cast<HANDLE>(find);
}

BOOL WINAPI FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData) {
  FindRecord* find = reinterpret_cast<FindRecord*>(findFile);
  if (nameState().openFinds.count(find) == 0) {
    machine().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (find->next >= find->names.size()) {
    machine().lastError = ERROR_NO_MORE_FILES;
    return FALSE;
  }
  describe(find->hostFolder, find->names[find->next++], findData);
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE findFile) {
  FindRecord* find = reinterpret_cast<FindRecord*>(findFile);
  if (nameState().openFinds.erase(find) == 0) {
    machine().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  delete find;
  return TRUE;
}

// Every level of an existing path in its short form; separators and the
// drive are kept as given.
DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  if (longPath == nullptr) {
    machine().lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (!isDriveRooted(longPath) || sim::hostPath(std::string(longPath, 3)).empty()) {
    machine().lastError = ERROR_PATH_NOT_FOUND;
    return 0;
  }
  std::string path = longPath;
  std::string result = path.substr(0, 3);
  std::string hostFolder = sim::hostPath(result);
  size_t position = 3;
  while (position < path.size()) {
    if (isSeparator(path[position])) {
      result += path[position++];
      continue;
    }
    size_t end = path.find_first_of("\\/", position);
    if (end == std::string::npos) end = path.size();
    std::string level = path.substr(position, end - position);
    std::string entry = entryNamed(hostFolder, level);
    if (entry.empty()) {
      machine().lastError = end == path.size() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
      return 0;
    }
    // A legal 8.3 level is kept as it was typed; a long one becomes its alias.
    result += isLegalShortName(level) ? level : shortNameIn(hostFolder, entry);
    hostFolder += "/" + entry;
    position = end;
  }
  if (result.size() + 1 > size) return static_cast<DWORD>(result.size() + 1);
  memcpy(shortPath, result.c_str(), result.size() + 1);
  return static_cast<DWORD>(result.size());
}

// Resolves levels as hostPath does, of drive-rooted paths only (the program
// passes no other).
DWORD WINAPI GetFullPathNameA(LPCSTR fileName, DWORD size, LPSTR buffer, LPSTR* filePart) {
  if (!isDriveRooted(fileName)) {
    machine().lastError = ERROR_INVALID_NAME;
    return 0;
  }
  std::string path = fileName;
  std::vector<std::string> levels = sim::pathLevels(path);
  std::string result = path.substr(0, 2) + "\\";
  size_t lastStart = result.size();
  for (const std::string& name : levels) {
    if (result.size() > 3) result += "\\";
    lastStart = result.size();
    result += name;
  }
  if (isSeparator(path.back()) && result.size() > 3) result += "\\";
  if (result.size() + 1 > size) return static_cast<DWORD>(result.size() + 1);
  memcpy(buffer, result.c_str(), result.size() + 1);
  if (filePart != nullptr) *filePart = lastStart < result.size() && !isSeparator(result.back()) ? buffer + lastStart : nullptr;
  return static_cast<DWORD>(result.size());
}

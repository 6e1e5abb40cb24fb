// Profile files (system.ini, wininit.ini) of the simulated machine: real
// files on the simulated drives, read and rewritten whole on every call the
// way Wine does it. Lines before the first section belong to an unnamed
// section; comments (";") are kept but never returned; blank lines are lost
// when a file is rewritten; a section written whole may hold a key twice.
#include <strings.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>

#include "sim/faults.h"
#include "sim/machine.h"

using sim::machine;

namespace {

struct ProfileKey {
  std::string name;
  bool hasValue;
  std::string value;
};

struct ProfileSection {
  std::string name;  // "" for the lines before the first section
  std::vector<ProfileKey> keys;
};

typedef std::vector<ProfileSection> Profile;

// Carriage returns and ^Z (the DOS end of file) count as white space too.
bool isProfileSpace(char ch) { return isspace(static_cast<unsigned char>(ch)) || ch == '\r' || ch == 0x1a; }

std::string trimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && isProfileSpace(text[begin])) ++begin;
  while (end > begin && isProfileSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string withoutLeadingSpace(const char* text) {
  while (*text != '\0' && isProfileSpace(*text)) ++text;
  return text;
}

bool sameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

std::string resolvedPath(const char* fileName) {
  std::string name = fileName;
  bool bare = name.find_first_of("\\/") == std::string::npos && !(name.size() >= 2 && name[1] == ':');
  return bare ? sim::windowsFolder() + "\\" + name : name;
}

Profile parse(const std::string& content) {
  Profile profile(1);
  std::istringstream lines(content);
  std::string line;
  while (std::getline(lines, line)) {
    line = trimmed(line);
    if (line.empty()) continue;
    if (line[0] == '[') {
      size_t close = line.rfind(']');
      if (close != std::string::npos) {
        profile.push_back(ProfileSection{line.substr(1, close - 1), {}});
        continue;
      }
    }
    ProfileKey key{line, false, ""};
    size_t equals = line.find('=');
    if (equals != std::string::npos) {
      key.name = trimmed(line.substr(0, equals));
      key.value = trimmed(line.substr(equals + 1));
      key.hasValue = true;
    }
    // Runs of nameless lines collapse into one, as in Windows' own parser.
    std::vector<ProfileKey>& keys = profile.back().keys;
    if (!key.name.empty() || keys.empty() || !keys.back().name.empty()) keys.push_back(key);
  }
  return profile;
}

// Reads a profile file; a missing file is an empty profile.
Profile load(const std::string& host) {
  std::ifstream in(host, std::ios::binary);
  std::ostringstream content;
  if (in) content << in.rdbuf();
  return parse(content.str());
}

std::string format(const Profile& profile) {
  std::string text;
  for (const ProfileSection& section : profile) {
    if (!section.name.empty()) text += "\r\n[" + section.name + "]\r\n";
    for (const ProfileKey& key : section.keys) {
      text += key.name;
      if (key.hasValue) text += "=" + key.value;
      text += "\r\n";
    }
  }
  return text;
}

// Writes the profile back whole; fails as creating the file would.
bool save(const std::string& windowsPath, const Profile& profile) {
  std::string host = sim::hostPath(windowsPath);
  struct stat info;
  size_t slash = host.rfind('/');
  if (host.empty() || slash == std::string::npos || stat(host.substr(0, slash).c_str(), &info) != 0) {
    machine().lastError = ERROR_PATH_NOT_FOUND;
    return false;
  }
  if (sim::isLocked(windowsPath)) {
    machine().lastError = ERROR_SHARING_VIOLATION;
    return false;
  }
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out << format(profile);
  if (!out) {
    machine().lastError = ERROR_ACCESS_DENIED;
    return false;
  }
  return true;
}

ProfileSection* findSection(Profile& profile, const std::string& name) {
  for (ProfileSection& section : profile) {
    if (!section.name.empty() && sameName(section.name, name)) return &section;
  }
  return nullptr;
}

ProfileSection& sectionToWrite(Profile& profile, const std::string& name) {
  if (ProfileSection* found = findSection(profile, name)) return *found;
  profile.push_back(ProfileSection{name, {}});
  return profile.back();
}

// The entries GetPrivateProfileSectionA returns: neither nameless lines nor
// comments.
std::vector<std::string> sectionEntries(const ProfileSection& section) {
  std::vector<std::string> entries;
  for (const ProfileKey& key : section.keys) {
    if (key.name.empty() || key.name[0] == ';') continue;
    entries.push_back(key.hasValue ? key.name + "=" + key.value : key.name);
  }
  return entries;
}

// An injected fault refuses the write as a file that cannot be written does.
bool writeRefused(const std::string& path, const char* section) {
  if (!sim::faultStrikes(sim::Fault::profileWrite, path + " [" + section + "]")) return false;
  machine().lastError = ERROR_ACCESS_DENIED;
  return true;
}

}  // namespace

namespace sim {

std::string profilePath(const std::string& fileName) { return resolvedPath(fileName.c_str()); }

std::vector<std::string> profileSection(const std::string& fileName, const std::string& section) {
  Profile profile = load(hostPath(profilePath(fileName)));
  ProfileSection* found = findSection(profile, section);
  return found != nullptr ? sectionEntries(*found) : std::vector<std::string>();
}

}  // namespace sim

DWORD WINAPI GetPrivateProfileSectionA(LPCSTR appName, LPSTR buffer, DWORD size, LPCSTR fileName) {
  if (appName == nullptr || buffer == nullptr) {
    machine().lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (size < 2) {
    if (size == 1) buffer[0] = '\0';
    return 0;
  }
  Profile profile = load(sim::hostPath(resolvedPath(fileName)));
  ProfileSection* section = findSection(profile, trimmed(appName));
  if (section == nullptr) {
    buffer[0] = buffer[1] = '\0';
    return 0;
  }
  // Entries follow one another, each with its zero, and one more zero ends
  // the list. When they do not fit, the last one is cut so that both zeros
  // fit and the result is the size less 2.
  DWORD used = 0;
  bool cut = false;
  for (const std::string& entry : sectionEntries(*section)) {
    if (used + entry.size() + 2 > size) {
      size_t room = size - used - 2;
      memcpy(buffer + used, entry.data(), room);
      used += static_cast<DWORD>(room);
      buffer[used] = '\0';
      buffer[used + 1] = '\0';
      cut = true;
      break;
    }
    memcpy(buffer + used, entry.c_str(), entry.size() + 1);
    used += static_cast<DWORD>(entry.size() + 1);
  }
  if (cut) return size - 2;
  buffer[used] = '\0';
  return used;
}

// One key's value; the program names both section and key, so the listing
// of names that null ones ask for is not simulated.
DWORD WINAPI GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultText, LPSTR buffer, DWORD size,
                                      LPCSTR fileName) {
  if (appName == nullptr || keyName == nullptr || buffer == nullptr) {
    machine().lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (size == 0) return 0;
  std::string text = trimmed(defaultText != nullptr ? defaultText : "");
  Profile profile = load(sim::hostPath(resolvedPath(fileName)));
  if (ProfileSection* section = findSection(profile, trimmed(appName))) {
    for (const ProfileKey& key : section->keys) {
      if (!key.hasValue || !sameName(key.name, trimmed(keyName))) continue;
      text = key.value;
      // Like Windows, a value in matching quotes loses them.
      if (text.size() >= 2 && (text[0] == '"' || text[0] == '\'') && text.back() == text[0])
        text = text.substr(1, text.size() - 2);
      break;
    }
  }
  // A value that does not fit is cut to the buffer, and the result is the
  // size less 1.
  size_t length = text.size() < size ? text.size() : size - 1;
  memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return static_cast<DWORD>(length);
}

BOOL WINAPI WritePrivateProfileSectionA(LPCSTR appName, LPCSTR string, LPCSTR fileName) {
  if (appName == nullptr) return FALSE;  // a cache flush, which the sim has no need of
  std::string path = resolvedPath(fileName);
  if (writeRefused(path, appName)) return FALSE;
  Profile profile = load(sim::hostPath(path));
  std::string name = trimmed(appName);
  if (string == nullptr) {
    for (size_t i = 0; i < profile.size(); ++i) {
      if (!profile[i].name.empty() && sameName(profile[i].name, name)) {
        profile.erase(profile.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
    return save(path, profile) ? TRUE : FALSE;
  }
  for (ProfileSection& section : profile) {
    if (!section.name.empty() && sameName(section.name, name)) section.keys.clear();
  }
  // Every "key=value" line is added as it comes, a repeated key included;
  // lines without "=" are dropped.
  for (const char* line = string; *line != '\0'; line += strlen(line) + 1) {
    const char* equals = strchr(line, '=');
    if (equals == nullptr) continue;
    std::string key = withoutLeadingSpace(std::string(line, equals).c_str());
    sectionToWrite(profile, name).keys.push_back(ProfileKey{key, true, withoutLeadingSpace(equals + 1)});
  }
  return save(path, profile) ? TRUE : FALSE;
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR string, LPCSTR fileName) {
  if (appName == nullptr) return FALSE;
  std::string path = resolvedPath(fileName);
  if (writeRefused(path, appName)) return FALSE;
  Profile profile = load(sim::hostPath(path));
  std::string name = trimmed(appName);
  if (keyName == nullptr) {
    for (size_t i = 0; i < profile.size(); ++i) {
      if (!profile[i].name.empty() && sameName(profile[i].name, name)) {
        profile.erase(profile.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
    return save(path, profile) ? TRUE : FALSE;
  }
  std::string key = trimmed(keyName);
  if (string == nullptr) {
    if (ProfileSection* section = findSection(profile, name)) {
      for (size_t i = 0; i < section->keys.size(); ++i) {
        if (sameName(section->keys[i].name, key)) {
          section->keys.erase(section->keys.begin() + static_cast<std::ptrdiff_t>(i));
          break;
        }
      }
    }
    return save(path, profile) ? TRUE : FALSE;
  }
  ProfileSection& section = sectionToWrite(profile, name);
  for (ProfileKey& existing : section.keys) {
    if (sameName(existing.name, key)) {
      existing.value = withoutLeadingSpace(string);
      existing.hasValue = true;
      return save(path, profile) ? TRUE : FALSE;
    }
  }
  section.keys.push_back(ProfileKey{key, true, withoutLeadingSpace(string)});
  return save(path, profile) ? TRUE : FALSE;
}

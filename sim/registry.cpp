// The registry of the simulated machine, in memory: keys by path, values by
// name (both without regard to case), open handles with the access they were
// granted, and subtrees that refuse full access as they do to a user without
// administrator rights.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "sim/faults.h"
#include "sim/machine.h"

using sim::machine;

namespace {

struct Value {
  std::string name;  // as first written; "" is the key's default value
  DWORD type;
  std::string data;
};

struct Key {
  std::string path;  // "HKEY_LOCAL_MACHINE\SOFTWARE\..." as first created
  std::vector<Value> values;
};

struct OpenKey {
  std::string keyName;  // lower-case full path
  REGSAM access;
};

struct RegistryState {
  std::map<std::string, Key> keys;  // by lower-case full path
  std::set<std::string> refusedSubtrees;  // lower-case full paths
  std::map<HKEY, std::unique_ptr<OpenKey>> openKeys;
};

RegistryState& registry() {
  static RegistryState state;
  return state;
}

sim::ResetHook clearRegistry([] { registry() = RegistryState(); });

std::string lowerCase(std::string text) {
  for (char& ch : text) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  return text;
}

const char* rootName(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (key == HKEY_USERS) return "HKEY_USERS";
  return nullptr;
}

// The full path of a handle as first written: ERROR_INVALID_HANDLE for a
// handle that is not open, ERROR_KEY_DELETED for one whose key has been
// deleted since it was opened (the handle stays valid, but names nothing).
LSTATUS fullPathOf(HKEY key, std::string* path) {
  if (const char* root = rootName(key)) {
    *path = root;
    return ERROR_SUCCESS;
  }
  auto found = registry().openKeys.find(key);
  if (found == registry().openKeys.end()) return ERROR_INVALID_HANDLE;
  auto opened = registry().keys.find(found->second->keyName);
  if (opened == registry().keys.end()) return ERROR_KEY_DELETED;
  *path = opened->second.path;
  return ERROR_SUCCESS;
}

// Joins a relative key path onto a full path. Repeated separators and a
// trailing one are ignored; a leading one is a syntax error, as on NT.
bool joinKeyPath(const std::string& base, const char* subKey, std::string* joined) {
  *joined = base;
  if (subKey == nullptr) return true;
  if (subKey[0] == '\\') return false;
  std::string level;
  for (const char* p = subKey;; ++p) {
    if (*p == '\\' || *p == '\0') {
      if (!level.empty()) *joined += "\\" + level;
      level.clear();
      if (*p == '\0') break;
    } else {
      level += *p;
    }
  }
  return true;
}

bool isRefused(const std::string& lowerPath) {
  for (const std::string& subtree : registry().refusedSubtrees) {
    if (lowerPath == subtree || lowerPath.compare(0, subtree.size() + 1, subtree + "\\") == 0) return true;
  }
  return false;
}

// Reading is always allowed; anything more is refused in a refused subtree.
bool accessAllowed(const std::string& lowerPath, REGSAM access) {
  return (access & ~static_cast<REGSAM>(KEY_READ)) == 0 || !isRefused(lowerPath);
}

bool keyExists(const std::string& lowerPath) {
  return registry().keys.count(lowerPath) != 0 || lowerPath.find('\\') == std::string::npos;
}

// Creates the key and every missing level above it.
void makeKey(const std::string& path) {
  for (size_t end = path.find('\\'); end != std::string::npos; end = path.find('\\', end + 1)) {
    std::string level = path.substr(0, path.find('\\', end + 1));
    std::string lower = lowerCase(level);
    if (registry().keys.count(lower) == 0) registry().keys[lower] = Key{level, {}};
  }
}

HKEY openHandle(const std::string& lowerPath, REGSAM access) {
  std::unique_ptr<OpenKey> open(new OpenKey{lowerPath, access});
  HKEY handle = reinterpret_cast<HKEY>(open.get());
  registry().openKeys[handle] = std::move(open);
  return handle;
}

// The key a handle names, for the value calls: null with an error code when
// the handle is not open or lacks the access the call needs.
Key* keyForValues(HKEY handle, REGSAM needed, LSTATUS* error) {
  std::string path;
  *error = fullPathOf(handle, &path);
  if (*error != ERROR_SUCCESS) return nullptr;
  auto open = registry().openKeys.find(handle);
  if (open != registry().openKeys.end() && (open->second->access & needed) != needed) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  std::string lower = lowerCase(path);
  if (registry().keys.count(lower) == 0) registry().keys[lower] = Key{path, {}};  // a predefined root
  return &registry().keys[lower];
}

Value* findValue(Key& key, const char* name) {
  std::string wanted = name != nullptr ? name : "";
  for (Value& value : key.values) {
    if (strcasecmp(value.name.c_str(), wanted.c_str()) == 0) return &value;
  }
  return nullptr;
}

std::string fullPath(HKEY root, const std::string& path) {
  std::string joined;
  joinKeyPath(rootName(root), path.c_str(), &joined);
  return joined;
}

}  // namespace

namespace sim {

bool registryKeyExists(HKEY root, const std::string& path) {
  return registry().keys.count(lowerCase(fullPath(root, path))) != 0;
}

bool registryValue(HKEY root, const std::string& path, const std::string& name, RegistryValue* value) {
  auto key = registry().keys.find(lowerCase(fullPath(root, path)));
  if (key == registry().keys.end()) return false;
  Value* found = findValue(key->second, name.c_str());
  if (found == nullptr) return false;
  value->type = found->type;
  value->data = found->data;
  return true;
}

std::vector<std::string> registryValueNames(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  auto key = registry().keys.find(lowerCase(fullPath(root, path)));
  if (key == registry().keys.end()) return names;
  for (const Value& value : key->second.values) names.push_back(value.name);
  return names;
}

void setRegistryValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                      const std::string& data) {
  std::string full = fullPath(root, path);
  makeKey(full);
  Key& key = registry().keys[lowerCase(full)];
  if (Value* existing = findValue(key, name.c_str())) {
    existing->type = type;
    existing->data = data;
  } else {
    key.values.push_back(Value{name, type, data});
  }
}

void setRegistryText(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
  setRegistryValue(root, path, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

void refuseFullAccess(HKEY root, const std::string& path) {
  registry().refusedSubtrees.insert(lowerCase(fullPath(root, path)));
}

int openRegistryKeyCount() { return static_cast<int>(registry().openKeys.size()); }

}  // namespace sim

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
  *result = nullptr;
  std::string base, path;
  if (LSTATUS error = fullPathOf(key, &base)) return error;
  if (!joinKeyPath(base, subKey, &path)) return ERROR_BAD_PATHNAME;
  std::string lower = lowerCase(path);
  if (!keyExists(lower)) return ERROR_FILE_NOT_FOUND;
  if (!accessAllowed(lower, desired)) return ERROR_ACCESS_DENIED;
  if (registry().keys.count(lower) == 0) registry().keys[lower] = Key{path, {}};
  *result = openHandle(lower, desired);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM desired,
                               LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
  *result = nullptr;
  std::string base, path;
  if (LSTATUS error = fullPathOf(key, &base)) return error;
  if (subKey == nullptr || !joinKeyPath(base, subKey, &path)) return ERROR_BAD_PATHNAME;
  std::string lower = lowerCase(path);
  bool exists = keyExists(lower);
  // Making a key needs the right to add below its parent, which a refused
  // subtree withholds whatever access is asked for the new key itself.
  if ((!exists && isRefused(lower)) || !accessAllowed(lower, desired)) return ERROR_ACCESS_DENIED;
  if (sim::faultStrikes(sim::Fault::registryKeyCreate, path)) return ERROR_ACCESS_DENIED;
  makeKey(path);
  if (registry().keys.count(lower) == 0) registry().keys[lower] = Key{path, {}};
  if (disposition != nullptr) *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  *result = openHandle(lower, desired);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY handle, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize) {
  LSTATUS error = ERROR_SUCCESS;
  Key* key = keyForValues(handle, KEY_QUERY_VALUE, &error);
  if (key == nullptr) return error;
  if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;
  const Value* value = findValue(*key, valueName);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = value->type;
  if (dataSize == nullptr) return ERROR_SUCCESS;
  DWORD size = static_cast<DWORD>(value->data.size());
  if (data != nullptr && *dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr) memcpy(data, value->data.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY handle, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                              DWORD dataSize) {
  LSTATUS error = ERROR_SUCCESS;
  Key* key = keyForValues(handle, KEY_SET_VALUE, &error);
  if (key == nullptr) return error;
  if (data == nullptr && dataSize != 0) return ERROR_NOACCESS;
  std::string named = valueName != nullptr && valueName[0] != '\0' ? "\\" + std::string(valueName) : "";
  if (sim::faultStrikes(sim::Fault::registryValueSet, key->path + named)) return ERROR_ACCESS_DENIED;
  // Stored exactly as given: NT would add a terminator a REG_SZ lacks, 9x
  // would not, so the stored size shows what the program passed.
  std::string bytes = data != nullptr ? std::string(reinterpret_cast<const char*>(data), dataSize) : std::string();
  if (Value* existing = findValue(*key, valueName)) {
    existing->type = type;
    existing->data = bytes;
  } else {
    key->values.push_back(Value{valueName != nullptr ? valueName : "", type, bytes});
  }
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  if (rootName(key) != nullptr) return ERROR_SUCCESS;
  if (registry().openKeys.erase(key) == 0) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY handle, LPCSTR valueName) {
  LSTATUS error = ERROR_SUCCESS;
  Key* key = keyForValues(handle, KEY_SET_VALUE, &error);
  if (key == nullptr) return error;
  Value* value = findValue(*key, valueName);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  key->values.erase(key->values.begin() + (value - key->values.data()));
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  std::string base, path;
  if (LSTATUS error = fullPathOf(key, &base)) return error;
  if (subKey == nullptr || !joinKeyPath(base, subKey, &path)) return ERROR_BAD_PATHNAME;
  std::string lower = lowerCase(path);
  // The predefined roots themselves are never deleted.
  if (lower.find('\\') == std::string::npos) return ERROR_ACCESS_DENIED;
  if (registry().keys.count(lower) == 0) return ERROR_FILE_NOT_FOUND;
  // Deleting needs the right to delete the key, which a refused subtree
  // withholds.
  if (isRefused(lower)) return ERROR_ACCESS_DENIED;
  std::vector<std::string> doomed;
  for (const auto& entry : registry().keys) {
    if (entry.first == lower || entry.first.compare(0, lower.size() + 1, lower + "\\") == 0)
      doomed.push_back(entry.first);
  }
  if (doomed.size() > 1 && sim::windowsFamily() == sim::WindowsFamily::NT) return ERROR_ACCESS_DENIED;
  for (const std::string& name : doomed) registry().keys.erase(name);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY handle, LPSTR keyClass, LPDWORD classSize, LPDWORD, LPDWORD subKeys,
                                LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                                LPDWORD maxValueNameLength, LPDWORD maxValueLength, LPDWORD securityDescriptorSize,
                                LPFILETIME lastWriteTime) {
  LSTATUS error = ERROR_SUCCESS;
  Key* key = keyForValues(handle, KEY_QUERY_VALUE, &error);
  if (key == nullptr) return error;
  std::string prefix = lowerCase(key->path) + "\\";
  DWORD children = 0;
  DWORD longestChild = 0;
  for (const auto& entry : registry().keys) {
    if (entry.first.compare(0, prefix.size(), prefix) != 0) continue;
    std::string rest = entry.first.substr(prefix.size());
    if (rest.find('\\') != std::string::npos) continue;
    ++children;
    longestChild = std::max(longestChild, static_cast<DWORD>(rest.size()));
  }
  DWORD longestName = 0;
  DWORD longestData = 0;
  for (const Value& value : key->values) {
    longestName = std::max(longestName, static_cast<DWORD>(value.name.size()));
    longestData = std::max(longestData, static_cast<DWORD>(value.data.size()));
  }
  // The program's keys have no class; the sim keeps no times or security.
  if (keyClass != nullptr && classSize != nullptr && *classSize > 0) keyClass[0] = '\0';
  if (classSize != nullptr) *classSize = 0;
  if (subKeys != nullptr) *subKeys = children;
  if (maxSubKeyLength != nullptr) *maxSubKeyLength = longestChild;
  if (maxClassLength != nullptr) *maxClassLength = 0;
  if (values != nullptr) *values = static_cast<DWORD>(key->values.size());
  if (maxValueNameLength != nullptr) *maxValueNameLength = longestName;
  if (maxValueLength != nullptr) *maxValueLength = longestData;
  if (securityDescriptorSize != nullptr) *securityDescriptorSize = 0;
  if (lastWriteTime != nullptr) *lastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

// A registry key owned for the length of a scope: opened or created with full
// access, closed by the destructor at the latest, so that every key is given
// back in the function that took it.
#ifndef VM_BASE_REGISTRY_KEY_H
#define VM_BASE_REGISTRY_KEY_H

#include <cstdint>

#include "platform/win32.h"

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() { close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens the key below `root`, creating it and any missing level above it.
  bool create(HKEY root, const char* path);
  // Opens an existing key.
  bool open(HKEY root, const char* path);
  void close();

  // A REG_SZ value whose stored size counts the terminating zero; a null or
  // empty name is the key's default value.
  bool setText(const char* name, const char* text);
  bool setNumber(const char* name, uint32_t number);
  // Any value, `size` bytes stored as given.
  bool setValue(const char* name, DWORD type, const void* data, DWORD size);

  // RegQueryValueExA on this key: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a
  // missing value, ERROR_MORE_DATA when the value does not fit in `size` bytes.
  LONG query(const char* name, DWORD* type, void* data, DWORD* size);

  // A REG_SZ value that fits `bufferSize` bytes with a terminator, which is
  // added when the stored text lacks one. Any other value fails.
  bool queryText(const char* name, char* buffer, DWORD bufferSize);

  // Deletes a value; one that is not there counts as deleted.
  bool removeValue(const char* name);

  // True when the key holds neither values nor subkeys.
  bool isEmpty();

 private:
  HKEY key_ = nullptr;
};

// Deletes the key `path` below `root` when it holds neither values nor
// subkeys. Checked first because Windows 95, 98 and ME delete a whole
// subtree where NT refuses. True when the key is gone afterwards.
bool deleteKeyIfEmpty(HKEY root, const char* path);

#endif  // VM_BASE_REGISTRY_KEY_H

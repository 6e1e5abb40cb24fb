#include "base/registry_key.h"

#include <cstring>

bool RegistryKey::create(HKEY root, const char* path) {
  close();
  DWORD disposition = 0;
  if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key_,
                      &disposition) == ERROR_SUCCESS)
    return true;
  key_ = nullptr;
  return false;
}

bool RegistryKey::open(HKEY root, const char* path) {
  close();
  if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key_) == ERROR_SUCCESS) return true;
  key_ = nullptr;
  return false;
}

void RegistryKey::close() {
  if (key_ != nullptr) RegCloseKey(key_);
  key_ = nullptr;
}

bool RegistryKey::setText(const char* name, const char* text) {
  return setValue(name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

bool RegistryKey::setValue(const char* name, DWORD type, const void* data, DWORD size) {
  return RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool RegistryKey::setNumber(const char* name, uint32_t number) {
  DWORD value = number;
  return setValue(name, REG_DWORD, &value, sizeof value);
}

LONG RegistryKey::query(const char* name, DWORD* type, void* data, DWORD* size) {
  return RegQueryValueExA(key_, name, nullptr, type, static_cast<BYTE*>(data), size);
}

bool RegistryKey::queryText(const char* name, char* buffer, DWORD bufferSize) {
  if (bufferSize < 1) return false;
  DWORD type = 0;
  DWORD size = bufferSize - 1;  // room for a terminator the value may lack
  if (query(name, &type, buffer, &size) != ERROR_SUCCESS || type != REG_SZ) return false;
  buffer[size] = '\0';
  return true;
}

bool RegistryKey::removeValue(const char* name) {
  LONG result = RegDeleteValueA(key_, name);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool RegistryKey::isEmpty() {
  DWORD subKeys = 0;
  DWORD values = 0;
  if (RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  return subKeys == 0 && values == 0;
}

bool deleteKeyIfEmpty(HKEY root, const char* path) {
  {
    RegistryKey key;
    if (!key.open(root, path)) return false;
    if (!key.isEmpty()) return false;
  }
  return RegDeleteKeyA(root, path) == ERROR_SUCCESS;
}

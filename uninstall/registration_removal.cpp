#include "uninstall/registration_removal.h"

#include <cstdio>
#include <cstring>

#include "base/paths.h"
#include "install/registry.h"
#include "base/registry_key.h"
#include "base/windows_version.h"

namespace {

void removeUninstallEntry(const char* installFolder) {
  HKEY root = isWindowsNT() ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  {
    RegistryKey entry;
    char command[kPathBufferSize];
    if (!entry.open(root, kUninstallKeyPath) || !entry.queryText(kUninstallStringValue, command, sizeof command) ||
        !isFileInNormalFolder(command, installFolder))
      return;
    for (int i = 0; i < kUninstallEntryValueCount; ++i) entry.removeValue(kUninstallEntryValues[i]);
  }
  deleteKeyIfEmpty(root, kUninstallKeyPath);
}

void removeAppPath(const char* installFolder) {
  {
    RegistryKey appPath;
    char program[kPathBufferSize];
    if (!appPath.open(HKEY_LOCAL_MACHINE, kAppPathKeyPath) || !appPath.queryText(nullptr, program, sizeof program) ||
        !isFileInNormalFolder(program, installFolder))
      return;
    appPath.removeValue(nullptr);
    appPath.removeValue(kAppPathFolderValue);
  }
  deleteKeyIfEmpty(HKEY_LOCAL_MACHINE, kAppPathKeyPath);
}

void removeInstallFolderValues(const char* installFolder) {
  {
    RegistryKey product;
    char folder[kPathBufferSize];
    if (!product.open(HKEY_CURRENT_USER, kProductKeyPath) ||
        !product.queryText(kInstallDirValue, folder, sizeof folder) || !namesNormalFolder(folder, installFolder))
      return;
    product.removeValue(kInstallDirValue);
    product.removeValue(kWorkDirValue);
  }
  removeEmptyProductKey(HKEY_CURRENT_USER);
}

}  // namespace

void removeEmptyProductKey(HKEY root) {
  if (!deleteKeyIfEmpty(root, kProductKeyPath)) return;
  // The vendor's key is the product key's parent; other products of the
  // vendor may live there, hence only when it is empty.
  char vendorKey[kPathBufferSize];
  formatText(vendorKey, sizeof vendorKey, "%s", kProductKeyPath);
  char* lastSeparator = strrchr(vendorKey, '\\');
  if (lastSeparator == nullptr) return;
  *lastSeparator = '\0';
  deleteKeyIfEmpty(root, vendorKey);
}

void removeRegistration(const char* installFolder) {
  removeUninstallEntry(installFolder);
  removeAppPath(installFolder);
  removeInstallFolderValues(installFolder);
}

#include "install/registry.h"

#include <cstring>

#include "install/paths.h"
#include "install/registry_key.h"
#include "platform/win32.h"
#include "setup/context.h"
#include "setup/fatal.h"
#include "setup/windows_version.h"

const char kProductKeyPath[] = "SOFTWARE\\Brantic\\Velk Modular";
const char kInstallDirValue[] = "InstallDir";
const char kWorkDirValue[] = "WorkDir";
const char kUninstallKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velk Modular";
const char kDisplayNameValue[] = "DisplayName";
const char kUninstallStringValue[] = "UninstallString";
const char kUninstallerName[] = "_vmunins.exe";
const char kAppPathKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vm.exe";
const char kAppPathFolderValue[] = "Path";

namespace {

const char kDisplayName[] = "Velk Modular";
const char kWorkFolderName[] = "Work";
const char kProgramName[] = "vm.exe";

void copyTargetFolder(char* buffer) {
  const char* target = installOptions.targetFolder;
  ENSURE(memchr(target, '\0', sizeof installOptions.targetFolder) != nullptr);
  strcpy(buffer, target);
}

// The target folder without trailing separators, except the one that makes
// a drive's root (D:\ stays, D:\\ becomes D:\). Windows searches this folder
// for the program's own libraries.
void stripTrailingSeparators(char* path) {
  size_t length = strlen(path);
  while (length > 3 && isPathSeparator(path[length - 1]) && path[length - 2] != ':') path[--length] = '\0';
}

}  // namespace

void registerProduct() {
  char uninstallCommand[kPathBufferSize];
  char workFolder[kPathBufferSize];
  copyTargetFolder(uninstallCommand);
  copyTargetFolder(workFolder);
  if (!joinPath(uninstallCommand, kUninstallerName) || !joinPath(workFolder, kWorkFolderName)) return;
  bool programSelected = installOptions.componentSelected[kComponentProgram] != 0;

  // The control panel lists per-user entries on NT, where a user without
  // administrator rights cannot write the machine's key; 9x has only one.
  {
    RegistryKey uninstall;
    if (uninstall.create(isWindowsNT() ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, kUninstallKeyPath)) {
      uninstall.setText(kDisplayNameValue, kDisplayName);
      uninstall.setText(kUninstallStringValue, uninstallCommand);
    }
  }

  {
    RegistryKey product;
    if (product.create(HKEY_CURRENT_USER, kProductKeyPath)) {
      product.setText(kInstallDirValue, installOptions.targetFolder);
      if (programSelected) product.setText(kWorkDirValue, workFolder);
    }
  }

  if (!programSelected) return;

  RegistryKey appPath;
  if (!appPath.create(HKEY_LOCAL_MACHINE, kAppPathKeyPath)) return;
  char program[kPathBufferSize];
  copyTargetFolder(program);
  if (joinPath(program, kProgramName)) appPath.setText(nullptr, program);
  char searchFolder[kPathBufferSize];
  copyTargetFolder(searchFolder);
  stripTrailingSeparators(searchFolder);
  appPath.setText(kAppPathFolderValue, searchFolder);
}

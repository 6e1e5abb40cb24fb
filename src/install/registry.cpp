#include "install/registry.h"

#include <cstring>

#include "base/paths.h"
#include "base/registry_key.h"
#include "install/shortcuts.h"
#include "payload/component_table.h"
#include "platform/win32.h"
#include "base/context.h"
#include "base/fatal.h"
#include "base/windows_version.h"

const char kProductKeyPath[] = "SOFTWARE\\Brantic\\Velk Modular";
const char kInstallDirValue[] = "InstallDir";
const char kWorkDirValue[] = "WorkDir";
const char kUninstallKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velk Modular";
const char kDisplayNameValue[] = "DisplayName";
const char kUninstallStringValue[] = "UninstallString";
const char kQuietUninstallStringValue[] = "QuietUninstallString";
const char kUninstallerName[] = "_vmunins.exe";
// The rest of the entry, which the list of installed programs shows; the
// uninstaller knows these names only through kUninstallEntryValues.
const char kDisplayIconValue[] = "DisplayIcon";
const char kDisplayVersionValue[] = "DisplayVersion";
const char kPublisherValue[] = "Publisher";
const char kInstallLocationValue[] = "InstallLocation";
const char kEstimatedSizeValue[] = "EstimatedSize";
const char kNoModifyValue[] = "NoModify";
const char kNoRepairValue[] = "NoRepair";
const char kUrlInfoAboutValue[] = "URLInfoAbout";
const char* const kUninstallEntryValues[] = {
    kDisplayNameValue,     kUninstallStringValue, kQuietUninstallStringValue, kDisplayIconValue,
    kDisplayVersionValue,  kPublisherValue,       kInstallLocationValue,      kEstimatedSizeValue,
    kNoModifyValue,        kNoRepairValue,        kUrlInfoAboutValue,
};
const int kUninstallEntryValueCount = sizeof kUninstallEntryValues / sizeof kUninstallEntryValues[0];
const char kAppPathKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vm.exe";
const char kAppPathFolderValue[] = "Path";

namespace {

const char kDisplayName[] = "Velk Modular";
const char kWorkFolderName[] = "Work";
const char kProgramName[] = "vm.exe";
const char kPublisher[] = "Brantic";
// Where an Internet shortcut keeps its address.
const char kInternetShortcutSection[] = "InternetShortcut";
const char kInternetShortcutAddressKey[] = "URL";
// The longest address Internet Explorer takes (INTERNET_MAX_URL_LENGTH).
constexpr DWORD kAddressBufferSize = 2084;
constexpr uint32_t kBytesPerKibibyte = 1024;

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

// The files of the selected components as their catalogues give them,
// rounded up to whole KiB, the list of installed programs' unit. The
// support component counts as the installation has set its flag by now.
uint32_t installedKibibytes() {
  int64_t bytes = 0;
  for (int32_t component = 0; component < kComponentCount; ++component)
    if (installOptions.componentSelected[component] != 0) bytes += sizesOfComponent(component).rawBytes;
  return static_cast<uint32_t>((bytes + kBytesPerKibibyte - 1) / kBytesPerKibibyte);
}

// The address the installed home-page shortcut opens. An address cut short
// by the buffer would lead elsewhere, so it counts as none.
bool readHomePageAddress(char* address, DWORD size) {
  char shortcut[kPathBufferSize];
  copyTargetFolder(shortcut);
  if (!joinPath(shortcut, kHomePageFileName)) return false;
  DWORD length = GetPrivateProfileStringA(kInternetShortcutSection, kInternetShortcutAddressKey, "", address, size,
                                          shortcut);
  return length > 0 && length < size - 1;
}

// What the list of installed programs shows beside the name: the icon, the
// version, the publisher, the folder, the size and the home page, and that
// the setup offers neither a change nor a repair. Each value stands alone.
void describeInstallation(RegistryKey& entry, const char* uninstallCommand, bool programSelected) {
  // The synthesizer's icon, or the uninstaller's, the only program that is
  // always there; both carry the product's icon first.
  char iconFile[kPathBufferSize];
  copyTargetFolder(iconFile);
  if (!programSelected || !joinPath(iconFile, kProgramName)) strcpy(iconFile, uninstallCommand);
  char icon[kPathBufferSize + 2];
  formatText(icon, sizeof icon, "%s,0", iconFile);
  entry.setText(kDisplayIconValue, icon);
  entry.setText(kDisplayVersionValue, setupContext.versionText);
  entry.setText(kPublisherValue, kPublisher);
  entry.setText(kInstallLocationValue, installOptions.targetFolder);
  entry.setNumber(kEstimatedSizeValue, installedKibibytes());
  entry.setNumber(kNoModifyValue, 1);
  entry.setNumber(kNoRepairValue, 1);
  char address[kAddressBufferSize];
  if (readHomePageAddress(address, sizeof address)) entry.setText(kUrlInfoAboutValue, address);
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
      // What management tools run to remove the product without a person at
      // the screen; the program's path in quotes, as it may hold blanks.
      char quietCommand[kPathBufferSize + 8];
      formatText(quietCommand, sizeof quietCommand, "\"%s\" /S", uninstallCommand);
      uninstall.setText(kQuietUninstallStringValue, quietCommand);
      describeInstallation(uninstall, uninstallCommand, programSelected);
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

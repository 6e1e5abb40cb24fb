#include "uninstall/pipe_driver_removal.h"

#include <cstring>

#include "base/paths.h"
#include "install/pipe_driver.h"
#include "install/registry.h"
#include "base/registry_key.h"
#include "install/replace_on_restart.h"
#include "platform/win32.h"
#include "base/windows_version.h"
#include "uninstall/registration_removal.h"

namespace {

// The setup gives a newer copy of the driver one of at most 100 numbered
// names.
const int kMostWaitingCopies = 100;

// The value names a file in the system folder: a bare name, nothing that
// could lead elsewhere.
bool isPlainFileName(const char* name) {
  if (name[0] == '\0' || strchr(name, ':') != nullptr) return false;
  bool onlyDots = true;
  for (const char* p = name; *p != '\0'; ++p) {
    if (isPathSeparator(*p)) return false;
    if (*p != '.' && *p != ' ') onlyDots = false;
  }
  return !onlyDots;
}

// Lowers the count; true when it has reached 0 and its value is gone. A
// count that is missing or not a number belongs to no other installation.
bool releaseSharedFile(const char* driverPath) {
  RegistryKey sharedDlls;
  if (!sharedDlls.open(HKEY_LOCAL_MACHINE, kSharedDllsKeyPath)) return false;
  uint32_t count = 0;
  DWORD type = 0;
  DWORD size = sizeof count;
  if (sharedDlls.query(driverPath, &type, &count, &size) != ERROR_SUCCESS || type != REG_DWORD) count = 1;
  if (count > 1) {
    sharedDlls.setNumber(driverPath, count - 1);
    return false;
  }
  return sharedDlls.removeValue(driverPath);
}

void unregisterOnNT(const char* driverName) {
  {
    RegistryKey drivers32;
    if (drivers32.open(HKEY_LOCAL_MACHINE, kDrivers32KeyPath)) {
      for (int slot = 0; slot < kMidiSlots; ++slot) {
        char slotName[8];
        char data[kPathBufferSize];
        midiSlotName(slot, slotName);
        if (drivers32.queryText(slotName, data, sizeof data) && pathsEqualIgnoringCase(data, driverName))
          drivers32.removeValue(slotName);
      }
    }
  }
  RegistryKey descriptions;
  if (descriptions.open(HKEY_LOCAL_MACHINE, kDriversDescKeyPath)) descriptions.removeValue(driverName);
}

void unregisterOn9x() {
  WritePrivateProfileStringA(kSystemIniSection, kSystemIniKey, nullptr, kSystemIni);
  // A section the setup made for its line goes with it. Only an empty one:
  // a null key removes a whole section, whatever it holds.
  char firstBytes[4];
  if (GetPrivateProfileSectionA(kSystemIniSection, firstBytes, sizeof firstBytes, kSystemIni) == 0)
    WritePrivateProfileStringA(kSystemIniSection, nullptr, nullptr, kSystemIni);
}

}  // namespace

void removePipeDriver(RemovalTally& tally) {
  char driverName[kPathBufferSize];
  {
    RegistryKey product;
    if (!product.open(HKEY_LOCAL_MACHINE, kProductKeyPath) ||
        !product.queryText(kPipeDriverValue, driverName, sizeof driverName) || !isPlainFileName(driverName))
      return;
  }
  char systemFolder[kPathBufferSize];
  char driverPath[kPathBufferSize];
  UINT length = GetSystemDirectoryA(systemFolder, kPathBufferSize);
  if (length == 0 || length >= kPathBufferSize) return;
  memcpy(driverPath, systemFolder, length + 1);
  if (!joinPath(driverPath, driverName)) return;
  // The count is the path the setup registered: the system folder as Windows
  // reports it, joined with the final name.
  if (!releaseSharedFile(driverPath)) return;

  if (isWindowsNT()) {
    unregisterOnNT(driverName);
  } else {
    unregisterOn9x();
  }
  // A newer copy still waiting to take the driver's name at the next start
  // would bring the driver back, unregistered and uncounted: its move is
  // taken back and its file goes. Each turn takes one move off the list.
  char waiting[kPathBufferSize];
  for (int i = 0; i < kMostWaitingCopies && cancelReplacementOnRestart(systemFolder, driverName, hasDriverMarker, waiting); ++i)
    removeFile(waiting, tally);
  if (hasDriverMarker(driverPath)) removeFile(driverPath, tally);
  {
    RegistryKey product;
    if (product.open(HKEY_LOCAL_MACHINE, kProductKeyPath)) product.removeValue(kPipeDriverValue);
  }
  removeEmptyProductKey(HKEY_LOCAL_MACHINE);
}

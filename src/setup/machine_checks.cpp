#include "setup/machine_checks.h"

#include <cstdio>
#include <cstring>

#include "base/paths.h"
#include "base/registry_key.h"
#include "pages/dialog_frame.h"
#include "pages/notices.h"
#include "payload/component_table.h"
#include "platform/win32.h"
#include "res/resource.h"
#include "base/context.h"
#include "base/exit_codes.h"
#include "base/message_box.h"
#include "base/run_log.h"
#include "base/windows_version.h"

int32_t systemDriveSpaceChecked = 0;
int32_t adminRightsChecked = 0;

namespace {

// CPUID function 1, EDX.
constexpr uint32_t kFloatingPointUnitBit = 1u << 0;
constexpr uint32_t kConditionalMoveBit = 1u << 15;

constexpr char kSlowProcessorWarning[] =
    "The Velk Modular is optimized to run on Pentium II, Celeron\nor compatible. The program's performance will be "
    "degraded.";
constexpr char kLowSpaceFormat[] =
    "You don't have enough free space on your Windows (%s) drive.\nAt least %d K is required.";

// What the notices say, for the log of a run that shows none.
constexpr char kNoFpuNotice[] = "The Velk Modular requires the math coprocessor to run. The Setup will terminate.";
constexpr char kNeedAdminNotice[] =
    "Warning! The Velk Modular contains a MIDI pipe (loopback) driver which requires Administrator privileges to "
    "be installed.";

// Room the Windows drive needs besides the pipe driver's files.
constexpr int64_t kSystemDriveReserve = 51200;

// Where the pipe driver step writes on Windows NT: its delayed replacement
// and its registration.
constexpr char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kDrivers32Key[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

// Opening with full access tests the right to write there; nothing is written.
bool mayWriteKey(const char* path) {
  RegistryKey key;
  return key.open(HKEY_LOCAL_MACHINE, path);
}

}  // namespace

bool checkProcessor() {
  uint32_t features = processorFeatureFlags();
  logLine("Checking the processor");
  if ((features & kFloatingPointUnitBit) == 0) {
    runFailure = kExitNoFloatingPoint;
    logLine("Notice: %s", kNoFpuNotice);
    // Whatever closes the notice, the setup ends.
    if (runSwitches.unattended == 0) runModalDialog(DLG_NO_FPU, noticeDialogProc);
    return false;
  }
  if ((features & kConditionalMoveBit) == 0)
    showMessage(setupContext.titleWindow, kSlowProcessorWarning, setupContext.caption, MB_OK);
  return true;
}

bool checkSystemDriveSpace() {
  if (systemDriveSpaceChecked != 0) return true;
  systemDriveSpaceChecked = 1;
  logLine("Checking the free space on the Windows drive");

  // A system folder that cannot be read or named by a drive is not checked.
  char root[kPathBufferSize];
  UINT length = GetSystemDirectoryA(root, sizeof root);
  if (length == 0 || length >= sizeof root || !isDriveRootedPath(root)) return true;
  root[3] = '\0';

  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
    freeClusters = 0;
  // In double precision: the product passes 32 bits on any modern drive.
  double freeBytes = static_cast<double>(sectorsPerCluster) * bytesPerSector * freeClusters;

  // The pipe driver of this Windows family, counted whether or not it will be
  // chosen: every component is still selected at this point.
  int64_t required = sizesOfComponent(kComponentPipeDriver).clusterBytes + kSystemDriveReserve;
  if (freeBytes >= static_cast<double>(required)) return true;

  char text[sizeof kLowSpaceFormat + kPathBufferSize + 16];
  formatText(text, sizeof text, kLowSpaceFormat, root, static_cast<int>((required + 1023) / 1024));
  runFailure = kExitNotEnoughRoom;
  showMessage(setupContext.titleWindow, text, setupContext.caption, MB_OK);
  return false;
}

bool checkAdminRights() {
  if (adminRightsChecked != 0) return true;
  adminRightsChecked = 1;
  if (!isWindowsNT()) return true;
  logLine("Checking the rights the pipe driver needs");
  if (mayWriteKey(kSessionManagerKey) && mayWriteKey(kDrivers32Key)) return true;

  // Taken away before the notice, so that even a user who goes on never
  // gets the driver offered again in this run.
  bool driverWanted = installOptions.componentSelected[kComponentPipeDriver] != 0;
  installOptions.pipeDriverAllowed = 0;
  installOptions.componentSelected[kComponentPipeDriver] = 0;
  logLine("Notice: %s", kNeedAdminNotice);
  bool goOn;
  if (runSwitches.unattended != 0) {
    // Without the driver that was asked for, the installation would not be
    // what the administrator deployed; one that left it out loses nothing.
    goOn = !driverWanted;
    logLine("Answer: %s (unattended)", goOn ? "Continue" : "Exit Setup");
  } else {
    goOn = runWizardPage(DLG_NEED_ADMIN, needAdminDialogProc) != kPageLeave;
    logLine("Answer: %s", goOn ? "Continue" : "Exit Setup");
  }
  if (!goOn) runFailure = kExitNoRights;
  return goOn;
}

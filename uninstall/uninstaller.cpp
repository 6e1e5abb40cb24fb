#include "uninstall/uninstaller.h"

#include <cstdio>
#include <cstring>

#include "install/paths.h"
#include "install/pipe_driver.h"
#include "install/uninstall_list.h"
#include "platform/win32.h"
#include "setup/fatal.h"
#include "uninstall/hand_over.h"
#include "uninstall/pipe_driver_removal.h"
#include "uninstall/recorded_items.h"
#include "uninstall/registration_removal.h"
#include "uninstall/removal.h"
#include "uninstall/restart_offer.h"
#include "uninstall/start_menu_removal.h"

const char kUninstallCaption[] = "Velk Modular Uninstall";

namespace {

const char kConfirmText[] = "Are you sure you want to completely remove Velk Modular and all of its components?";
const char kMissingDataText[] =
    "Uninstall information is missing or damaged. Velk Modular cannot be removed automatically.";
const char kRemovedText[] = "Velk Modular was removed from your computer.";
const char kLeftBehindText[] = "Some items could not be removed. You can delete them yourself.";

// The data file beside the program; false, after telling the user, when it
// cannot be read.
bool loadRecords(const char* folder, UninstallList& records) {
  char dataFile[kPathBufferSize];
  snprintf(dataFile, sizeof dataFile, "%s", folder);
  if (isDriveRootedPath(folder) && joinPath(dataFile, kUninstallFileName) && records.loadForRemoval(dataFile))
    return true;
  MessageBoxA(nullptr, kMissingDataText, kUninstallCaption, MB_OK | MB_ICONEXCLAMATION);
  return false;
}

void showOutcome(const RemovalTally& tally) {
  char text[512];
  snprintf(text, sizeof text, "%s", kRemovedText);
  if (tally.leftBehind > 0) {
    size_t used = strlen(text);
    snprintf(text + used, sizeof text - used, "\n\n%s", kLeftBehindText);
  }
  if (tally.scheduled > 0) {
    offerRestart(text, sizeof text);
    return;
  }
  MessageBoxA(nullptr, text, kUninstallCaption, MB_OK | MB_ICONINFORMATION);
}

// Everything after the data file has been read. `programPath` is the
// original uninstaller in `folder`, which may be the running program itself.
void removeInstallation(const char* folder, const char* programPath, const UninstallList& records) {
  RemovalTally tally;
  removeRecordedItems(records, tally);
  removeStartMenuItems(folder, tally);
  removeRegistration(folder);
  removePipeDriver(tally);
  // The data file does not list the program itself.
  removeFile(programPath, tally);
  int32_t scheduledBefore = tally.scheduled;
  removeFolder(folder, tally);
  // What keeps the folder is no part of the installation: the user's own
  // files, which are theirs to delete.
  if (tally.scheduled == scheduledBefore && pathExists(folder)) ++tally.leftBehind;
  showOutcome(tally);
}

int finishFromCopy(const HandOver& handOver) {
  waitForOriginal(handOver.originalProcessId);
  char folder[kPathBufferSize];
  copyFolderOfPath(handOver.originalPath, folder);
  UninstallList records;
  if (loadRecords(folder, records)) removeInstallation(folder, handOver.originalPath, records);
  scheduleCopyCleanup();
  return 0;
}

int startFromInstallation() {
  char programPath[kPathBufferSize];
  DWORD length = GetModuleFileNameA(nullptr, programPath, kPathBufferSize);
  ENSURE(length != 0 && length < kPathBufferSize);
  char folder[kPathBufferSize];
  copyFolderOfPath(programPath, folder);

  if (MessageBoxA(nullptr, kConfirmText, kUninstallCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) return 0;
  UninstallList records;
  if (!loadRecords(folder, records)) return 0;
  if (handOverToCopy(programPath)) return 0;
  // No copy could be started: the program's own file and folder then wait
  // for the next start of Windows.
  removeInstallation(folder, programPath, records);
  return 0;
}

}  // namespace

int runUninstaller(const char* commandLine) {
  bool comReady = SUCCEEDED(CoInitialize(nullptr));
  HandOver handOver;
  int exitCode = parseHandOver(commandLine, &handOver) ? finishFromCopy(handOver) : startFromInstallation();
  if (comReady) CoUninitialize();
  return exitCode;
}

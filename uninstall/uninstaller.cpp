#include "uninstall/uninstaller.h"

#include <cstdio>
#include <cstring>

#include "extract/kept_files.h"
#include "base/held_folder.h"
#include "base/paths.h"
#include "install/pipe_driver.h"
#include "install/run_lock.h"
#include "extract/uninstall_list.h"
#include "platform/win32.h"
#include "base/context.h"
#include "base/fatal.h"
#include "setup/restart.h"
#include "setup/system_libraries.h"
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
const char kBusyText[] = "Velk Modular Setup or its uninstaller is running. Nothing was removed.";

// Another run of the setup or the uninstaller may be changing the folder,
// the data file and the backups: nothing is read or removed then.
bool takeRunLockOrTell() {
  if (takeRunLock()) return true;
  MessageBoxA(nullptr, kBusyText, kUninstallCaption, MB_OK | MB_ICONEXCLAMATION);
  return false;
}

// The data file beside the program; false, after telling the user, when it
// cannot be read. A re-installation that ended without saving or rolling back
// (the power failed) is rolled back first: the data file and what it lists
// are then the earlier installation's again, and no backup is left over.
// The folder is held from here to the end (see held_folder.h): what was read
// from it is what is removed.
bool loadRecords(const char* folder, UninstallList& records) {
  bool held = isDriveRootedPath(folder) && holdFolder(folder);
  if (held) restoreKeptFiles(folder);
  char dataFile[kPathBufferSize];
  formatText(dataFile, sizeof dataFile, "%s", folder);
  if (held && joinPath(dataFile, kUninstallFileName) && records.loadForRemoval(dataFile)) return true;
  MessageBoxA(nullptr, kMissingDataText, kUninstallCaption, MB_OK | MB_ICONEXCLAMATION);
  return false;
}

// True when the user asked for the restart.
bool showOutcome(const RemovalTally& tally) {
  char text[512];
  formatText(text, sizeof text, "%s", kRemovedText);
  if (tally.leftBehind > 0) {
    size_t used = strlen(text);
    formatText(text + used, sizeof text - used, "\n\n%s", kLeftBehindText);
  }
  if (tally.scheduled > 0) return offerRestart(text, sizeof text);
  MessageBoxA(nullptr, text, kUninstallCaption, MB_OK | MB_ICONINFORMATION);
  return false;
}

// Everything after the data file has been read. `programPath` is the
// original uninstaller in `folder`, which may be the running program itself.
// True when the user asked for the restart.
bool removeInstallation(const char* folder, const char* programPath, const UninstallList& records) {
  RemovalTally tally;
  removeRecordedItems(records, folder, tally);
  removeStartMenuItems(folder, tally);
  removeRegistration(folder);
  // Only an installation that installed the driver counted it.
  if (listsPipeDriverSource(records, folder)) removePipeDriver(tally);
  // The data file does not list the program itself.
  removeFile(programPath, tally);
  int32_t scheduledBefore = tally.scheduled;
  removeFolder(folder, tally);
  // What keeps the folder is no part of the installation: the user's own
  // files, which are theirs to delete.
  if (tally.scheduled == scheduledBefore && pathExists(folder)) ++tally.leftBehind;
  return showOutcome(tally);
}

bool finishFromCopy(const HandOver& handOver) {
  // The original held the lock until it ended.
  waitForOriginal(handOver.originalProcessId);
  if (!takeRunLockOrTell()) {
    scheduleCopyCleanup();
    return false;
  }
  char originalPath[kPathBufferSize];
  if (!normalisePath(handOver.originalPath, originalPath)) formatText(originalPath, sizeof originalPath, "%s", handOver.originalPath);
  char folder[kPathBufferSize];
  copyFolderOfPath(originalPath, folder);
  UninstallList records;
  bool restart = loadRecords(folder, records) && removeInstallation(folder, originalPath, records);
  scheduleCopyCleanup();
  return restart;
}

bool startFromInstallation() {
  char programPath[kPathBufferSize];
  DWORD length = GetModuleFileNameA(nullptr, programPath, kPathBufferSize);
  ENSURE(length != 0 && length < kPathBufferSize);
  // Started through a short name or another spelling of its folder, it still
  // finds its installation: the setup wrote everything down normalised.
  normalisePath(programPath, programPath);
  char folder[kPathBufferSize];
  copyFolderOfPath(programPath, folder);

  if (!takeRunLockOrTell()) return false;
  // From before the question until the copy runs: the copy is this program.
  HANDLE held = holdProgramFile(programPath);
  bool copied = false;
  UninstallList records;
  bool loaded = MessageBoxA(nullptr, kConfirmText, kUninstallCaption, MB_YESNO | MB_ICONQUESTION) == IDYES &&
                loadRecords(folder, records);
  if (loaded && held != INVALID_HANDLE_VALUE) copied = handOverToCopy(programPath);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  // No copy could be started: the program's own file and folder then wait
  // for the next start of Windows.
  return loaded && !copied && removeInstallation(folder, programPath, records);
}

}  // namespace

int runUninstaller(const char* commandLine) {
  // First: the copy runs from the temporary folder, where anyone may leave a
  // library of a well-known name.
  restrictLibrarySearch();
  formatText(setupContext.caption, sizeof setupContext.caption, "%s", kUninstallCaption);
  bool comReady = SUCCEEDED(CoInitialize(nullptr));
  HandOver handOver;
  bool restart = parseHandOver(commandLine, &handOver) ? finishFromCopy(handOver) : startFromInstallation();
  releaseHeldFolder();
  if (comReady) CoUninitialize();
  // The setup's own restart, whose message on failure carries this caption.
  if (restart) restartWindows();
  return 0;
}

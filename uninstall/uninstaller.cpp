#include "uninstall/uninstaller.h"

#include <cstdio>
#include <cstring>

#include "base/command_line.h"
#include "base/context.h"
#include "base/exit_codes.h"
#include "base/fatal.h"
#include "base/held_folder.h"
#include "base/message_box.h"
#include "base/paths.h"
#include "base/run_log.h"
#include "extract/kept_files.h"
#include "extract/uninstall_list.h"
#include "install/pipe_driver.h"
#include "install/run_lock.h"
#include "platform/win32.h"
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
const char kUsage[] =
    "Usage: _vmunins.exe [/S] [/LOG=FILE]\n"
    "\n"
    "/S\tRemove Velk Modular without windows or questions.\n"
    "/LOG=FILE\tWrite a log of the removal to FILE.\n"
    "\n"
    "Exit codes: 0 removed, 3010 removed but Windows must restart to delete what is in use, 2 cancelled, "
    "3 the setup or the uninstaller is running, 7 uninstall information missing or damaged, 10 bad command line.";

void tell(const char* text, UINT icon) { showMessage(nullptr, text, kUninstallCaption, MB_OK | icon); }

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
  runFailure = kExitDamaged;
  tell(kMissingDataText, MB_ICONEXCLAMATION);
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
  tell(text, MB_ICONINFORMATION);
  return false;
}

// Everything after the data file has been read. `programPath` is the
// original uninstaller in `folder`, which may be the running program itself;
// `waitingOriginal`, when not null, the original that waits for this copy.
// Returns the exit code; *restart is true when the user asked for the
// restart.
int32_t removeInstallation(const char* folder, const char* programPath, const UninstallList& records,
                           HANDLE waitingOriginal, bool* restart) {
  RemovalTally tally;
  logLine("Removing the installation in %s", folder);
  removeRecordedItems(records, folder, tally);
  logLine("Removing the Start Menu items and the registry entries");
  removeStartMenuItems(folder, tally);
  removeRegistration(folder);
  // Only an installation that installed the driver counted it.
  if (listsPipeDriverSource(records, folder)) {
    logLine("Removing the pipe driver");
    removePipeDriver(tally);
  }
  // Its file cannot go while it runs: it learns the outcome now, and the
  // rest of it is the program's file and folder, which go once it has ended.
  if (waitingOriginal != nullptr)
    endWaitingOriginal(waitingOriginal, tally.scheduled > 0 ? kExitRestartNeeded : kExitDone);
  // The data file does not list the program itself.
  removeFile(programPath, tally);
  int32_t scheduledBefore = tally.scheduled;
  removeFolder(folder, tally);
  // What keeps the folder is no part of the installation: the user's own
  // files, which are theirs to delete.
  if (tally.scheduled == scheduledBefore && pathExists(folder)) ++tally.leftBehind;
  *restart = showOutcome(tally);
  return tally.scheduled > 0 ? kExitRestartNeeded : kExitDone;
}

int32_t finishFromCopy(const HandOver& handOver, bool* restart) {
  // A run with switches waits for this copy, holding the lock for both;
  // otherwise the original held the lock until it ended.
  HANDLE original = nullptr;
  if (runSwitches.given != 0) {
    original = openWaitingOriginal(handOver.originalProcessId);
  } else {
    waitForOriginal(handOver.originalProcessId);
  }
  // Another run of the setup or the uninstaller may be changing the folder,
  // the data file and the backups: nothing is read or removed then.
  bool locked = original != nullptr ? joinRunLock() : takeRunLock();
  if (!locked) {
    runFailure = kExitAlreadyRunning;
    tell(kBusyText, MB_ICONEXCLAMATION);
  }
  char originalPath[kPathBufferSize];
  if (!normalisePath(handOver.originalPath, originalPath)) formatText(originalPath, sizeof originalPath, "%s", handOver.originalPath);
  char folder[kPathBufferSize];
  copyFolderOfPath(originalPath, folder);
  UninstallList records;
  // A failure before the removal reaches a waiting original through this
  // copy's own exit code.
  bool loaded = locked && loadRecords(folder, records);
  int32_t exitCode = loaded ? removeInstallation(folder, originalPath, records, original, restart) : runFailure;
  if (!loaded && original != nullptr) CloseHandle(original);
  scheduleCopyCleanup();
  return exitCode;
}

int32_t startFromInstallation(const char* commandLine, bool* restart) {
  char programPath[kPathBufferSize];
  DWORD length = GetModuleFileNameA(nullptr, programPath, kPathBufferSize);
  ENSURE(length != 0 && length < kPathBufferSize);
  // Started through a short name or another spelling of its folder, it still
  // finds its installation: the setup wrote everything down normalised.
  normalisePath(programPath, programPath);
  char folder[kPathBufferSize];
  copyFolderOfPath(programPath, folder);

  // As in the copy; and the log only once the lock is held: another run may
  // be writing to it, and this one then only adds to it.
  char problem[2 * kPathBufferSize];
  if (!takeRunLock()) {
    startRunLog(commandLine, true, problem, sizeof problem);
    tell(kBusyText, MB_ICONEXCLAMATION);
    return kExitAlreadyRunning;
  }
  if (!startRunLog(commandLine, false, problem, sizeof problem)) {
    showUsage(kUsage, problem, kUninstallCaption);
    return kExitBadCommandLine;
  }
  // From before the question until the copy runs: the copy is this program.
  HANDLE held = holdProgramFile(programPath);
  UninstallList records;
  bool confirmed =
      showMessage(nullptr, kConfirmText, kUninstallCaption, MB_YESNO | MB_ICONQUESTION, IDYES) == IDYES;
  if (!confirmed) runFailure = kExitCancelled;
  bool loaded = confirmed && loadRecords(folder, records);
  bool copied = false;
  HANDLE copy = nullptr;
  if (loaded && held != INVALID_HANDLE_VALUE) {
    logLine("Handing over to a copy of the uninstaller");
    // The copy writes on in the log.
    closeRunLog();
    copied = handOverToCopy(programPath, runSwitches.given != 0 ? &copy : nullptr);
    if (!copied && runSwitches.logPath[0] != '\0') openRunLog(true);
  }
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  if (!loaded) return runFailure;
  if (copied) {
    if (copy == nullptr) return kExitDone;
    uint32_t exitCode = waitForCopy(copy);
    // Only a copy that ended without ending this program gets here.
    if (runSwitches.logPath[0] != '\0') openRunLog(true);
    logLine("The copy ended with exit code %lu", static_cast<unsigned long>(exitCode));
    return static_cast<int32_t>(exitCode);
  }
  // No copy could be started: the program's own file and folder then wait
  // for the next start of Windows.
  return removeInstallation(folder, programPath, records, nullptr, restart);
}

}  // namespace

int runUninstaller(const char* commandLine) {
  // First: the copy runs from the temporary folder, where anyone may leave a
  // library of a well-known name.
  restrictLibrarySearch();
  formatText(setupContext.caption, sizeof setupContext.caption, "%s", kUninstallCaption);
  runFailure = kExitDone;
  const char* handOverLine = nullptr;
  char problem[2 * kPathBufferSize];
  bool read = readCommandLine(commandLine, CommandLineOf::uninstaller, &handOverLine, problem, sizeof problem);
  HandOver handOver;
  // A line that only looks like the copy's is a start by the user.
  bool isCopy = read && handOverLine != nullptr && parseHandOver(handOverLine, &handOver);
  int32_t exitCode = kExitDone;
  bool restart = false;
  char logProblem[2 * kPathBufferSize];
  if (!read || runSwitches.help != 0) {
    // Nothing runs, and the lock is not taken: a log named on the line only
    // gets the text added.
    startRunLog(commandLine, true, logProblem, sizeof logProblem);
    showUsage(kUsage, read ? nullptr : problem, kUninstallCaption);
    exitCode = read ? kExitDone : kExitBadCommandLine;
  } else {
    // The copy writes on in its original's log, which it could write to; it
    // has a removal to finish either way.
    if (isCopy) startRunLog(commandLine, true, logProblem, sizeof logProblem);
    bool comReady = SUCCEEDED(CoInitialize(nullptr));
    exitCode = isCopy ? finishFromCopy(handOver, &restart) : startFromInstallation(commandLine, &restart);
    releaseHeldFolder();
    if (comReady) CoUninitialize();
    // The setup's own restart, whose message on failure carries this caption.
    if (restart) restartWindows();
  }
  logLine("Exit code %d", static_cast<int>(exitCode));
  closeRunLog();
  // A run without switches ends as it always has, whatever happened.
  return runSwitches.given != 0 ? exitCode : 0;
}

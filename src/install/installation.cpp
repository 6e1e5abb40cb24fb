#include "install/installation.h"

#include <cstring>

#include "extract/kept_files.h"
#include "base/held_folder.h"
#include "base/paths.h"
#include "install/pipe_driver.h"
#include "install/registry.h"
#include "install/shortcuts.h"
#include "extract/uninstall_list.h"
#include "payload/component_table.h"
#include "extract/extraction.h"
#include "extract/progress.h"
#include "platform/win32.h"
#include "base/context.h"
#include "base/exit_codes.h"
#include "base/fatal.h"
#include "base/message_box.h"
#include "base/run_log.h"

namespace {

constexpr char kCorruptMessage[] = "The Setup file is corrupt";
constexpr char kFailedMessage[] = "The Setup failed";
constexpr char kCreateFolderFailedFormat[] = "Failed to create %s";
constexpr char kUninstallInfoFailedMessage[] = "Failed to create uninstall info. Aborting setup";
constexpr char kStartMenuFailedMessage[] = "Failed to create the Start Menu items";
constexpr char kPipeDriverFailedMessage[] = "Failed to install the Velk Pipe driver";

// The uninstaller's own entry: its files stay out of the uninstall data.
constexpr int32_t kUninstallerEntry = 1000;

// The message of a failure that ends the installation with `exitCode`.
void tell(const char* text, int32_t exitCode) {
  runFailure = exitCode;
  showMessage(installingDialog, text, setupContext.caption, MB_OK);
}

// Puts the target folder back as it was before this run: what the run made
// is deleted, newest first (the files kept out of the data file first: they
// may lie in recorded folders), and the files it wrote over go back in
// place. An earlier installation's records and its data file stay.
void rollBackInstallation() {
  logLine("Rolling back what this run made in %s", installOptions.targetFolder);
  unrecordedFiles.rollBack(installOptions.targetFolder);
  uninstallList.rollBack(installOptions.targetFolder);
  restoreKeptFiles(installOptions.targetFolder);
}

// Extracts every entry of every selected component, in component order.
// Returns 0, or the failing entry's result after the roll-back and its
// message.
int32_t extractComponents() {
  for (int32_t component = 0; component < kComponentCount; ++component) {
    if (installOptions.componentSelected[component] == 0) continue;
    const int32_t* ids = componentTable[component];
    ENSURE(ids != nullptr);
    for (; *ids != kEndOfEntries; ++ids) {
      recordWrittenFiles = *ids == kUninstallerEntry ? 0 : 1;
      logLine("Extracting payload entry %d", static_cast<int>(*ids));
      int32_t result = extractEntry(*ids, nullptr);
      // A cancel confirmed while an entry's last bytes went out lets that
      // entry finish; it still stops the installation, as the user was
      // told it would.
      if (result == kExtractDone && cancelRequested != 0) result = kExtractStopped;
      if (result == kExtractDone) continue;
      rollBackInstallation();
      if (result == kExtractCorrupt) {
        tell(kCorruptMessage, kExitDamaged);
      } else if (result != kExtractStopped) {
        tell(kFailedMessage, kExitStepFailed);
      } else {
        // The file that failed has said so; a cancel is the Installing
        // page's to count.
        runFailure = kExitStepFailed;
      }
      return result;
    }
  }
  return kInstallationDone;
}

int32_t refuseTargetFolder() {
  char text[kPathBufferSize + 32];
  formatText(text, sizeof text, kCreateFolderFailedFormat, installOptions.targetFolder);
  tell(text, kExitBadFolder);
  return kInstallationStopped;
}

struct FolderHoldEnd {
  ~FolderHoldEnd() { releaseHeldFolder(); }
};

void normaliseTargetFolder() {
  char normal[kPathBufferSize];
  if (normalisePath(installOptions.targetFolder, normal)) strcpy(installOptions.targetFolder, normal);
}

}  // namespace

int32_t runInstallation() {
  const char* target = installOptions.targetFolder;
  ENSURE(memchr(target, '\0', sizeof installOptions.targetFolder) != nullptr);
  unrecordedFiles.clear();
  logLine("Installing into %s", target);

  // The folder is written down in one spelling, the one the uninstaller
  // finds itself in: full before it is made (a ".." level makes no folder on
  // the way), with the long names of its levels once it exists.
  normaliseTargetFolder();
  // A folder that cannot be made (a drive that is not there, a name Windows
  // refuses) is the user's to change: the page goes back to the summary. So
  // is one reached through a junction or link, which leads somewhere else.
  if (leadsThroughReparsePoint(target) || !createDirectoryPath(target)) return refuseTargetFolder();

  normaliseTargetFolder();
  // Held until the run ends, whichever way (see held_folder.h). A folder the
  // path does not lead straight to is no place to install to.
  FolderHoldEnd holdEnd;
  if (!holdFolder(target)) return refuseTargetFolder();

  char dataFile[kPathBufferSize];
  strcpy(dataFile, target);
  if (!joinPath(dataFile, kUninstallFileName)) {
    tell(kUninstallInfoFailedMessage, kExitStepFailed);
    return kInstallationStopped;
  }
  // A run into this folder that ended without saving or rolling back (the
  // power failed) is rolled back first, so that what follows finds the
  // earlier installation as it was.
  restoreKeptFiles(target);
  // A power failure leaves one whole installation at every moment, the
  // earlier or this one, because the disk gets what it must keep in this
  // order:
  //   1. each journal line before the move it names (keepAside);
  //   2. over an earlier installation, each file this run writes, before it
  //      is closed: these make up the new installation;
  //   3. the new data file, before the journal goes;
  //   4. the journal's end (deleted, or emptied on the disk), before any
  //      backup is deleted.
  // Up to 4 the next run, or the uninstaller, rolls this run back from the
  // journal; from 4 on, all of this installation is on the disk. A first
  // installation keeps nothing aside and has nothing earlier to lose: its
  // files are left to the system's cache.
  flushWrittenFiles = fileExists(dataFile) ? 1 : 0;
  // An earlier installation into this folder is taken over record for
  // record; without one the list starts empty.
  uninstallList.loadFrom(dataFile);
  // A data file that does not list itself would outlive the uninstaller.
  // Nothing is written yet, and the records taken over stay on disk.
  if (!uninstallList.addRecord(dataFile, kUninstallFile, !fileExists(dataFile))) {
    uninstallList.clear();
    tell(kUninstallInfoFailedMessage, kExitStepFailed);
    return kInstallationStopped;
  }

  // The installation this one replaces installed the driver, and counted
  // it: a second count would outlive every uninstallation.
  bool driverCountedBefore = listsPipeDriverSource(uninstallList, target);
  bytesWritten = 0;
  restartProgressPacing();
  installOptions.componentSelected[kComponentSupport] = 1;
  int32_t result = extractComponents();
  if (result != kInstallationDone) return result;

  // The earlier data file is kept aside too: a save that fails half way
  // must not have spoilt it.
  if ((fileExists(dataFile) && !keepAside(dataFile)) || !uninstallList.saveTo(dataFile)) {
    tell(kUninstallInfoFailedMessage, kExitStepFailed);
    rollBackInstallation();
    return kInstallationStopped;
  }
  // A journal that still listed the backups would put the earlier
  // installation back over this one at the next run: this one goes now
  // instead, and the user is told. From then on nothing is undone.
  if (!discardKeptFiles(target)) {
    tell(kUninstallInfoFailedMessage, kExitStepFailed);
    rollBackInstallation();
    return kInstallationStopped;
  }
  unrecordedFiles.clear();
  logLine("Wrote the uninstall data %s", dataFile);

  logLine("Registering the product");
  registerProduct();
  logLine("Making the Start Menu items");
  if (!createStartMenuItems(installingDialog)) {
    tell(kStartMenuFailedMessage, kExitStepFailed);
    return kInstallationStopped;
  }
  if (installOptions.componentSelected[kComponentPipeDriver] != 0) {
    logLine("Installing the pipe driver");
    if (!installPipeDriver(driverCountedBefore)) {
      tell(kPipeDriverFailedMessage, kExitStepFailed);
      return kInstallationStopped;
    }
  }
  logLine("Installation complete");
  return kInstallationDone;
}

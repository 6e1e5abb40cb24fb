#include "setup/unattended_setup.h"

#include <cstring>

#include "base/context.h"
#include "base/exit_codes.h"
#include "base/run_log.h"
#include "extract/progress.h"
#include "install/installation.h"
#include "pages/components_page.h"
#include "pages/directory_page.h"
#include "payload/component_table.h"
#include "setup/machine_checks.h"
#include "setup/setup_driver.h"

namespace {

void logChoices() {
  char names[128] = "";
  for (int32_t component = 0; component < kComponentSupport; ++component) {
    if (installOptions.componentSelected[component] == 0) continue;
    if (names[0] != '\0') strncat(names, ",", sizeof names - strlen(names) - 1);
    strncat(names, kComponentShortNames[component], sizeof names - strlen(names) - 1);
  }
  logLine("Components: %s", names);
  logLine("Target folder: %s", installOptions.targetFolder);
}

}  // namespace

int32_t runUnattendedSetup() {
  if (!settleStartingChoices(nullptr)) return -1;
  // The wizard's order: the processor before the Welcome page, the Windows
  // drive and the rights after it; then what the pages would have chosen.
  if (!checkProcessor() || !checkSystemDriveSpace() || !checkAdminRights()) return 0;
  logLine("The licence agreement is accepted by the /S switch");
  logChoices();
  sumSelection();
  int32_t folderCheck = checkFolderWithoutPage();
  if (folderCheck != kExitDone) {
    runFailure = folderCheck;
    return 0;
  }
  // The Installing page's starting state, without its dialog: nothing to
  // show the progress on, and nobody to cancel.
  cancelRequested = 0;
  lastPercent = 0;
  installingDialog = nullptr;
  return runInstallation() == kInstallationDone ? 1 : 0;
}

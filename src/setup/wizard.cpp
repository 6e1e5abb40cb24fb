#include "setup/wizard.h"

#include "pages/components_page.h"
#include "pages/dialog_frame.h"
#include "pages/directory_page.h"
#include "pages/installing_page.h"
#include "pages/license_page.h"
#include "pages/summary_page.h"
#include "pages/welcome_page.h"
#include "res/resource.h"
#include "base/context.h"
#include "base/exit_codes.h"
#include "setup/machine_checks.h"

namespace {

enum class Step { welcome, license, customize, directory, aboutToInstall, installing };

// The modal pages after Welcome: each goes back to the one before it and on
// to the one after it.
struct ModalPage {
  Step step;
  const char* templateName;
  DLGPROC procedure;
  Step back;
  Step next;
};

const ModalPage kModalPages[] = {
    {Step::license, DLG_LICENSE, licenseDialogProc, Step::welcome, Step::customize},
    {Step::customize, DLG_CUSTOMIZE, customizeDialogProc, Step::license, Step::directory},
    {Step::directory, DLG_DIRECTORY, directoryDialogProc, Step::customize, Step::aboutToInstall},
    {Step::aboutToInstall, DLG_ABOUT_TO_INSTALL, aboutToInstallDialogProc, Step::directory, Step::installing},
};

const ModalPage& modalPage(Step step) {
  for (const ModalPage& page : kModalPages)
    if (page.step == step) return page;
  return kModalPages[0];
}

// The user left the wizard on a page.
int32_t leave() {
  runFailure = kExitCancelled;
  return 0;
}

}  // namespace

int32_t runWizard() {
  if (!checkProcessor()) return 0;
  Step step = Step::welcome;
  for (;;) {
    if (step == Step::welcome) {
      // Welcome has no Back; Back would count as Next. The two checks run
      // once per run, so coming back here never repeats them.
      if (runWizardPage(DLG_WELCOME, welcomeDialogProc) == kPageLeave) return leave();
      if (!checkSystemDriveSpace() || !checkAdminRights()) return 0;
      step = Step::license;
    } else if (step == Step::installing) {
      int32_t result = runInstallingPage();
      if (result == kInstallCompleted) return 1;
      if (result == kInstallCorrupt) return 0;
      // Cancelled or failed: the user may change the choices and start
      // again, unless something already waits for a restart.
      if (installOptions.restartNeeded != 0) return 0;
      step = Step::aboutToInstall;
    } else {
      const ModalPage& page = modalPage(step);
      INT_PTR result = runWizardPage(page.templateName, page.procedure);
      if (result == kPageLeave) return leave();
      step = result == kPageBack ? page.back : page.next;
    }
  }
}

#include "setup/setup_driver.h"

#include <cstdio>
#include <cstring>

#include "base/paths.h"
#include "install/registry.h"
#include "install/run_lock.h"
#include "base/registry_key.h"
#include "pages/notices.h"
#include "payload/component_table.h"
#include "res/resource.h"
#include "base/context.h"
#include "base/fatal.h"
#include "setup/restart.h"
#include "setup/system_libraries.h"
#include "base/windows_version.h"
#include "setup/wizard.h"
#include "title/title_window.h"

namespace {

constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 8;
constexpr int kVersionBuild = 4;
constexpr char kCaptionFormat[] = "Velk Modular %s Install";

constexpr char kComFailedMessage[] = "Failed to initialize COM library";
constexpr char kCorruptMessage[] = "The setup file is corrupt";
constexpr char kNotCompleteMessage[] = "Installation was not complete";
constexpr char kHomePageReminder[] =
    "Don't forget to visit Velk Modular home page\nfor lots of patches and additional info.";
constexpr char kCompletedMessage[] = "Installation successfully complete";
constexpr char kAlreadyRunningMessage[] = "Velk Modular Setup is already running.";

constexpr char kInstallDirValue[] = "InstallDir";

// The splash stays at least this long, so that it can be read.
constexpr DWORD kSplashMilliseconds = 2000;

void tell(HWND owner, const char* text) { MessageBoxA(owner, text, setupContext.caption, MB_OK); }

// The default folder goes on the drive Windows is on, in the case Windows
// reports the letter.
void takeWindowsDrive() {
  char windows[kPathBufferSize];
  UINT length = GetWindowsDirectoryA(windows, sizeof windows);
  if (length != 0 && length < sizeof windows && isDriveRootedPath(windows))
    installOptions.targetFolder[0] = windows[0];
}

// A re-run offers the folder of the last installation, which it recorded.
// Only a text value counts; anything unreadable is passed over in silence.
void takePreviousFolder() {
  RegistryKey product;
  if (!product.open(HKEY_CURRENT_USER, kProductKeyPath)) return;
  // Zeroed: a stored text need not carry its own terminator.
  char folder[kPathBufferSize] = {};
  DWORD type = 0;
  DWORD size = sizeof folder;
  if (product.query(kInstallDirValue, &type, folder, &size) != ERROR_SUCCESS || type != REG_SZ) return;
  folder[sizeof folder - 1] = '\0';
  memcpy(installOptions.targetFolder, folder, sizeof folder);
}

void showClosingMessages(int32_t completed) {
  HWND owner = setupContext.titleWindow;
  if (completed == 0) {
    tell(owner, kNotCompleteMessage);
    if (installOptions.restartNeeded != 0 && !askRestart()) installOptions.restartNeeded = 0;
    return;
  }
  tell(owner, kHomePageReminder);
  // The restart notice itself says that the installation succeeded.
  if (installOptions.restartNeeded != 0) {
    if (!askRestart()) installOptions.restartNeeded = 0;
  } else {
    tell(owner, kCompletedMessage);
  }
}

}  // namespace

int runSetupProgram(HINSTANCE instance) {
  // Before anything can make Windows look for a library by name beside the
  // program, which may be a downloads folder.
  restrictLibrarySearch();
  // Then, before anything else: the drawing-object guards compare every
  // caller against this thread.
  setupContext.mainThreadId = GetCurrentThreadId();
  setupContext.instance = instance;
  buildVersionText();
  formatText(setupContext.caption, sizeof setupContext.caption, kCaptionFormat, setupContext.versionText);
  // Before anything is shown or touched: a second setup, or one started
  // while the uninstaller runs, would share the folder, the data file and the
  // backups with it.
  if (!takeRunLock()) {
    MessageBoxA(nullptr, kAlreadyRunningMessage, setupContext.caption, MB_OK | MB_ICONEXCLAMATION);
    return 0;
  }
  createTitleWindow();
  // The Installing page's progress bar is a common control.
  loadCommonControls();
  if (FAILED(CoInitialize(nullptr))) {
    tell(setupContext.titleWindow, kComFailedMessage);
  } else {
    runSetup();
    CoUninitialize();
  }
  destroyTitleWindow();
  // Last of all, with every window of the program gone.
  if (installOptions.restartNeeded != 0) restartWindows();
  return 0;
}

void buildVersionText() {
  char build[16];
  formatText(setupContext.versionText, sizeof setupContext.versionText, "%d.%02d", kVersionMajor, kVersionMinor);
  formatText(build, sizeof build, ".%03d", kVersionBuild);
  strncat(setupContext.versionText, build, sizeof setupContext.versionText - strlen(setupContext.versionText) - 1);
}

void runSetup() {
  setupContext.splashWindow = CreateDialogParamA(setupContext.instance, DLG_INIT_SETUP, setupContext.titleWindow,
                                                 initSetupDialogProc, 0);
  ENSURE(setupContext.splashWindow != nullptr);
  ShowWindow(setupContext.splashWindow, SW_SHOWNORMAL);
  pumpPendingMessages();
  DWORD start = GetTickCount();

  // Before the check, so that each family checks and installs its own driver
  // and never looks at the other's.
  if (isWindowsNT()) selectPipeDriverEntry(true);
  if (verifyPayload() == 0) {
    // The splash stays up until the title window, its owner, takes it along.
    tell(setupContext.splashWindow, kCorruptMessage);
    return;
  }
  for (int32_t component = 0; component < kComponentCount; ++component)
    installOptions.componentSelected[component] = 1;
  takeWindowsDrive();
  takePreviousFolder();

  pumpPendingMessages();
  // Unsigned, so that a wrap of the tick count between the readings still
  // gives the right difference.
  DWORD elapsed = GetTickCount() - start;
  if (elapsed < kSplashMilliseconds) {
    Sleep(kSplashMilliseconds - elapsed);
    pumpPendingMessages();
  }
  ShowWindow(setupContext.splashWindow, SW_HIDE);
  DestroyWindow(setupContext.splashWindow);
  setupContext.splashWindow = nullptr;

  showClosingMessages(runWizard());
}

void pumpPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (IsDialogMessageA(setupContext.splashWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

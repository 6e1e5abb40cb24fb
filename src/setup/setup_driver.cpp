#include "setup/setup_driver.h"

#include <cstdio>
#include <cstring>

#include "base/command_line.h"
#include "base/context.h"
#include "base/exit_codes.h"
#include "base/fatal.h"
#include "base/message_box.h"
#include "base/paths.h"
#include "base/registry_key.h"
#include "base/run_log.h"
#include "base/windows_version.h"
#include "install/registry.h"
#include "install/run_lock.h"
#include "pages/notices.h"
#include "payload/component_table.h"
#include "res/resource.h"
#include "setup/restart.h"
#include "setup/system_libraries.h"
#include "setup/unattended_setup.h"
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
constexpr char kRestartLaterMessage[] =
    "Installation successfully complete\nWindows must be restarted to complete the installation.";
constexpr char kUnknownComponentFormat[] = "Unknown component: %s";
constexpr char kUsage[] =
    "Usage: setup.exe [/S] [/NORESTART] [/LOG=FILE] [/COMPONENTS=NAME,...] [/D=FOLDER]\n"
    "\n"
    "/S\tInstall without windows or questions. Installing with /S accepts the licence agreement.\n"
    "/NORESTART\tNever restart Windows.\n"
    "/LOG=FILE\tWrite a log of the installation to FILE.\n"
    "/COMPONENTS=NAME,...\tInstall these components: program, standard, library, pipe, examples, skins "
    "(all of them if not given).\n"
    "/D=FOLDER\tInstall into FOLDER; the rest of the command line, without quotes.\n"
    "\n"
    "Exit codes: 0 installed, 3010 installed but Windows must restart, 2 cancelled, 3 already running, "
    "4 no rights for the pipe driver, 5 bad folder, 6 not enough room, 7 damaged setup file, 8 a step failed, "
    "9 no math coprocessor, 10 bad command line.";

// The components /COMPONENTS= names, read once the command line is.
int32_t givenComponents[kComponentCount];

// Whether the last try's completed installation needs a restart, whatever
// the user answered.
bool restartWasNeeded = false;

constexpr char kInstallDirValue[] = "InstallDir";

// The splash stays at least this long, so that it can be read.
constexpr DWORD kSplashMilliseconds = 2000;

void tell(HWND owner, const char* text) { showMessage(owner, text, setupContext.caption, MB_OK); }

// /COMPONENTS=: names separated by commas, each of a component.
bool readGivenComponents(char* problem, size_t problemSize) {
  for (int32_t& selected : givenComponents) selected = 0;
  for (const char* name = runSwitches.components;;) {
    size_t length = strcspn(name, ",");
    int32_t component = componentOfShortName(name, length);
    if (component < 0) {
      char written[kPathBufferSize];
      formatText(written, sizeof written, "%s", name);
      written[length] = '\0';
      formatText(problem, problemSize, kUnknownComponentFormat, written);
      return false;
    }
    givenComponents[component] = 1;
    if (name[length] == '\0') return true;
    name += length + 1;
  }
}

// The command line and /?. Returns -1 when the run goes on, else the exit
// code it ends with at once.
int32_t readSwitches(const char* commandLine) {
  char problem[2 * kPathBufferSize];
  bool read = readCommandLine(commandLine, CommandLineOf::setup, nullptr, problem, sizeof problem) &&
              (runSwitches.components[0] == '\0' || readGivenComponents(problem, sizeof problem));
  if (read && runSwitches.help == 0) return -1;
  // Nothing runs, and the lock is not taken: a log named on the line only
  // gets the text added.
  char logProblem[2 * kPathBufferSize];
  startRunLog(commandLine, true, logProblem, sizeof logProblem);
  showUsage(kUsage, read ? nullptr : problem, setupContext.caption);
  return read ? kExitDone : kExitBadCommandLine;
}

// The exit code of a run that went through the wizard or its unattended
// steps.
int32_t exitCodeOf(bool completed) {
  if (completed) return restartWasNeeded ? kExitRestartNeeded : kExitDone;
  // Whatever ended the run short said so on the way.
  ENSURE(runFailure != kExitDone);
  return runFailure;
}

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

// The restart notice, in a run that may restart; false when Windows is not to
// restart.
bool restartChosen() {
  if (runSwitches.unattended == 0 && runSwitches.noRestart == 0) return askRestart();
  logLine("Windows must be restarted; not restarted (%s)", runSwitches.unattended != 0 ? "/S" : "/NORESTART");
  return false;
}

void showClosingMessages(int32_t completed) {
  HWND owner = setupContext.titleWindow;
  restartWasNeeded = installOptions.restartNeeded != 0;
  if (completed == 0) {
    tell(owner, kNotCompleteMessage);
    if (installOptions.restartNeeded != 0 && !restartChosen()) installOptions.restartNeeded = 0;
    return;
  }
  tell(owner, kHomePageReminder);
  // The restart notice itself says that the installation succeeded.
  if (installOptions.restartNeeded == 0) {
    tell(owner, kCompletedMessage);
  } else if (!restartChosen()) {
    // Where /NORESTART kept the notice away, the user still learns what it
    // says.
    if (runSwitches.unattended == 0 && runSwitches.noRestart != 0) tell(owner, kRestartLaterMessage);
    installOptions.restartNeeded = 0;
  }
}

int32_t runLocked(const char* commandLine) {
  char problem[2 * kPathBufferSize];
  // Before anything is shown or touched: a second setup, or one started
  // while the uninstaller runs, would share the folder, the data file and the
  // backups with it, and perhaps the log, which it only adds to.
  if (!takeRunLock()) {
    startRunLog(commandLine, true, problem, sizeof problem);
    showMessage(nullptr, kAlreadyRunningMessage, setupContext.caption, MB_OK | MB_ICONEXCLAMATION);
    return kExitAlreadyRunning;
  }
  if (!startRunLog(commandLine, false, problem, sizeof problem)) {
    showUsage(kUsage, problem, setupContext.caption);
    return kExitBadCommandLine;
  }
  bool unattended = runSwitches.unattended != 0;
  if (!unattended) {
    createTitleWindow();
    // The Installing page's progress bar is a common control.
    loadCommonControls();
  }
  int32_t completed = 0;
  if (FAILED(CoInitialize(nullptr))) {
    runFailure = kExitStepFailed;
    tell(setupContext.titleWindow, kComFailedMessage);
  } else {
    completed = unattended ? runUnattendedSetup() : runSetup();
    // A damaged payload has had its one message.
    if (completed >= 0) showClosingMessages(completed);
    CoUninitialize();
  }
  if (!unattended) destroyTitleWindow();
  // Last of all, with every window of the program gone.
  if (installOptions.restartNeeded != 0) restartWindows();
  return exitCodeOf(completed > 0);
}

}  // namespace

int runSetupProgram(HINSTANCE instance, const char* commandLine) {
  // Before anything can make Windows look for a library by name beside the
  // program, which may be a downloads folder.
  restrictLibrarySearch();
  // Then, before anything else: the drawing-object guards compare every
  // caller against this thread.
  setupContext.mainThreadId = GetCurrentThreadId();
  setupContext.instance = instance;
  buildVersionText();
  formatText(setupContext.caption, sizeof setupContext.caption, kCaptionFormat, setupContext.versionText);
  runFailure = kExitDone;
  restartWasNeeded = false;
  int32_t exitCode = readSwitches(commandLine);
  if (exitCode < 0) exitCode = runLocked(commandLine);
  logLine("Exit code %d", static_cast<int>(exitCode));
  closeRunLog();
  // A run without switches ends as it always has, whatever happened.
  return runSwitches.given != 0 ? exitCode : 0;
}

void buildVersionText() {
  char build[16];
  formatText(setupContext.versionText, sizeof setupContext.versionText, "%d.%02d", kVersionMajor, kVersionMinor);
  formatText(build, sizeof build, ".%03d", kVersionBuild);
  strncat(setupContext.versionText, build, sizeof setupContext.versionText - strlen(setupContext.versionText) - 1);
}

bool settleStartingChoices(HWND owner) {
  logLine("Checking the setup file");
  // Before the check, so that each family checks and installs its own driver
  // and never looks at the other's.
  if (isWindowsNT()) selectPipeDriverEntry(true);
  if (verifyPayload() == 0) {
    runFailure = kExitDamaged;
    tell(owner, kCorruptMessage);
    return false;
  }
  bool componentsGiven = runSwitches.components[0] != '\0';
  for (int32_t component = 0; component < kComponentCount; ++component)
    installOptions.componentSelected[component] = componentsGiven ? givenComponents[component] : 1;
  if (runSwitches.folder[0] != '\0') {
    strcpy(installOptions.targetFolder, runSwitches.folder);
  } else {
    takeWindowsDrive();
    takePreviousFolder();
  }
  return true;
}

int32_t runSetup() {
  setupContext.splashWindow = CreateDialogParamA(setupContext.instance, DLG_INIT_SETUP, setupContext.titleWindow,
                                                 initSetupDialogProc, 0);
  ENSURE(setupContext.splashWindow != nullptr);
  ShowWindow(setupContext.splashWindow, SW_SHOWNORMAL);
  pumpPendingMessages();
  DWORD start = GetTickCount();

  // The splash stays up until the title window, its owner, takes it along.
  if (!settleStartingChoices(setupContext.splashWindow)) return -1;

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

  return runWizard();
}

void pumpPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (IsDialogMessageA(setupContext.splashWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

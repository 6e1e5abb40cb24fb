// The run from the entry to the exit: the splash and its 2000 ms, the
// default folder, the corrupt payload, COM, the three closing outcomes and
// the restart at the very end.
#include <filesystem>
#include <set>

#include "base/paths.h"
#include "install_fixture.h"
#include "setup/setup_driver.h"
#include "wizard_flow_fixture.h"

namespace {

constexpr char kCorrupt[] = "The setup file is corrupt";
constexpr char kNotComplete[] = "Installation was not complete";
constexpr char kReminder[] = "Don't forget to visit Velk Modular home page\nfor lots of patches and additional info.";
constexpr char kCompleted[] = "Installation successfully complete";
constexpr char kManualRestart[] =
    "Failed to automatically reboot the system.\nPlease use Start->ShutDown to reboot manually";
constexpr char kProductKey[] = "SOFTWARE\\Brantic\\Velk Modular";

// The whole program, as the entry point runs it. The title window is made
// and destroyed by the run itself.
class SetupDriverTest : public WizardFlowTest {
 protected:
  void SetUp() override {
    WizardFlowTest::SetUp();
    destroyTitleWindow();
    CoUninitialize();
    setupContext = SetupContext();
    installOptions = InstallOptions{"C:\\Program Files\\Velk Modular", {0, 0, 0, 0, 0, 0, 0}, 1, 0};
  }
  void TearDown() override {
    EXPECT_FALSE(sim::comInitialized());
    EXPECT_EQ(sim::liveWindows().size(), 0u) << "a window outlived the run";
    CoInitialize(nullptr);
    // A death test's run happened in another process; this one still needs
    // the thread the title window's drawing checks.
    setupContext.mainThreadId = GetCurrentThreadId();
    createTitleWindow();
    WizardFlowTest::TearDown();
  }

  // One run of the program, whose process then ends.
  static int run() {
    int result = runSetupProgram(nullptr, "");
    sim::endProgram();
    return result;
  }
};

using Pages = std::vector<std::string>;

// Leave on the Welcome page; "Installation was not complete" follows.
void leaveOnWelcome(HWND page) {
  sim::answerNextMessageBox(IDYES);
  sim::answerNextMessageBox(IDOK);
  sim::clickButton(page, IDCANCEL);
}

// Leaves on the Welcome page, noting the folder start-up settled on.
void leaveNotingFolder(std::string* folder) {
  onDialog("Welcome", [folder](HWND page) {
    *folder = installOptions.targetFolder;
    leaveOnWelcome(page);
  });
}

}  // namespace

TEST_F(SetupDriverTest, TheVersionAndTheCaptionAreBuiltFromTheNumbers) {
  buildVersionText();
  EXPECT_STREQ(setupContext.versionText, "2.08.004");
  std::string folder;
  leaveNotingFolder(&folder);
  EXPECT_EQ(run(), 0);
  EXPECT_STREQ(setupContext.caption, "Velk Modular 2.08.004 Install");
  EXPECT_EQ(setupContext.mainThreadId, GetCurrentThreadId());
}

TEST_F(SetupDriverTest, ACorruptPayloadEndsTheRunWithItsOneMessage) {
  sim::removeResource(kPayloadResourceType, 601);
  HWND splash = nullptr;
  sim::answerNextMessageBox(IDOK, [&] { splash = sim::activeDialog(); });
  EXPECT_EQ(run(), 0);
  ASSERT_EQ(boxTexts(), std::vector<std::string>{kCorrupt});
  EXPECT_EQ(sim::messageBoxes()[0].owner, setupContext.splashWindow);
  EXPECT_EQ(sim::messageBoxes()[0].owner, splash);
  EXPECT_EQ(sim::dialogHistory(), Pages{"InitSetup"});
  EXPECT_TRUE(sim::restartRequests().empty());
}

TEST_F(SetupDriverTest, TheSplashStaysAtLeast2000MillisecondsOnTheClock) {
  const struct {
    DWORD start;
    DWORD step;
    std::vector<DWORD> sleeps;
  } cases[] = {
      {0x00100000, 0, {2000}},      // instant check: the whole time is slept
      {0x00100000, 700, {1300}},    // the rest of it
      {0x00100000, 2500, {}},       // a longer check is not lengthened
      {0xFFFFFF00, 500, {1500}},    // the tick count wraps between the readings
  };
  for (const auto& example : cases) {
    sim::setTickCount(example.start);
    sim::setClockStepPerReading(example.step);
    size_t sleepsBefore = sim::sleeps().size();
    bool splashGone = false;
    DWORD atWelcome = 0;
    onDialog("Welcome", [&](HWND page) {
      atWelcome = sim::tickCount();
      splashGone = setupContext.splashWindow == nullptr;
      leaveOnWelcome(page);
    });
    run();
    std::vector<DWORD> slept(sim::sleeps().begin() + static_cast<long>(sleepsBefore), sim::sleeps().end());
    EXPECT_EQ(slept, example.sleeps) << "step " << example.step;
    EXPECT_GE(static_cast<DWORD>(atWelcome - example.start), 2000u);
    EXPECT_TRUE(splashGone);
  }
}

TEST_F(SetupDriverTest, TheDefaultFolderTakesTheDriveWindowsIsOnInItsCase) {
  sim::addDrive('E');
  std::string folder;
  ASSERT_TRUE(sim::setWindowsFolder("E:\\WINDOWS"));
  leaveNotingFolder(&folder);
  run();
  EXPECT_EQ(folder, "E:\\Program Files\\Velk Modular");
  installOptions = InstallOptions{"C:\\Program Files\\Velk Modular", {}, 1, 0};
  ASSERT_TRUE(sim::setWindowsFolder("e:\\windows"));
  leaveNotingFolder(&folder);
  run();
  EXPECT_EQ(folder, "e:\\Program Files\\Velk Modular");
}

TEST_F(SetupDriverTest, AnEarlierInstallDirOfTypeTextReplacesTheDefault) {
  std::string folder;
  sim::setRegistryText(HKEY_CURRENT_USER, kProductKey, "InstallDir", "F:\\Synth");
  leaveNotingFolder(&folder);
  run();
  EXPECT_EQ(folder, "F:\\Synth");

  // Another type, a value too long for the folder, or none: the default.
  for (const sim::RegistryValue& value :
       {sim::RegistryValue{REG_EXPAND_SZ, std::string("F:\\Synth") + '\0'},
        sim::RegistryValue{REG_SZ, std::string(300, 'x') + '\0'}}) {
    installOptions = InstallOptions{"C:\\Program Files\\Velk Modular", {}, 1, 0};
    sim::setRegistryValue(HKEY_CURRENT_USER, kProductKey, "InstallDir", value.type, value.data);
    leaveNotingFolder(&folder);
    run();
    EXPECT_EQ(folder, "C:\\Program Files\\Velk Modular");
  }
  // An empty text empties the folder.
  sim::setRegistryText(HKEY_CURRENT_USER, kProductKey, "InstallDir", "");
  leaveNotingFolder(&folder);
  run();
  EXPECT_EQ(folder, "");
  // A text stored without its terminator still ends where it is stored.
  sim::setRegistryValue(HKEY_CURRENT_USER, kProductKey, "InstallDir", REG_SZ, "G:\\Bare");
  leaveNotingFolder(&folder);
  run();
  EXPECT_EQ(folder, "G:\\Bare");
}

TEST_F(SetupDriverTest, EachFamilyChecksOnlyItsOwnPipeDriver) {
  std::string folder;
  leaveNotingFolder(&folder);
  run();
  for (int id : sim::resourceLookups()) EXPECT_NE(id, 400);
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  selectPipeDriverEntry(false);
  // A damaged 32-bit driver does not matter on Windows 98.
  installEntry(450, {1, 2, 3});
  size_t before = sim::resourceLookups().size();
  leaveNotingFolder(&folder);
  run();
  for (size_t i = before; i < sim::resourceLookups().size(); ++i) EXPECT_NE(sim::resourceLookups()[i], 450);
  EXPECT_EQ(boxTexts().back(), kNotComplete);
}

TEST_F(SetupDriverTest, ACompletedInstallationWithoutRestartShowsTheReminderThenSuccess) {
  pressOn("Welcome", IDOK);
  pressOn("License", IDOK);
  onDialog("Customize", [](HWND page) {
    sim::clickButton(page, IDC_CHECK_PIPE_DRIVER);
    sim::clickButton(page, IDOK);
  });
  pressOn("Directory", IDOK);
  pressOn("AboutToInstall", IDOK);
  sim::answerNextMessageBox(IDOK);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{kReminder, kCompleted}));
  for (const sim::MessageBoxRecord& box : sim::messageBoxes()) {
    EXPECT_NE(box.owner, nullptr);
    EXPECT_EQ(box.caption, kCaption);
  }
  EXPECT_TRUE(sim::restartRequests().empty());
}

TEST_F(SetupDriverTest, TheSearchForLibrariesIsNarrowedFirstAndNoneComesFromBesideTheProgram) {
  sim::setProgramPath("C:\\setup.exe");
  ASSERT_TRUE(sim::writeFile("C:\\comctl32.dll", "MZ planted"));
  size_t callsBefore = sim::libraryCalls().size();
  auto loadsSinceStart = [callsBefore] {
    std::vector<std::string> loads;
    for (size_t i = callsBefore; i < sim::libraryCalls().size(); ++i)
      if (sim::libraryCalls()[i].compare(0, 13, "LoadLibraryA ") == 0) loads.push_back(sim::libraryCalls()[i].substr(13));
    return loads;
  };
  int restrictions = 0;
  size_t windowsBefore = 99;
  bool comBefore = true;
  size_t loadsBefore = 99;
  sim::onLibrarySearchRestricted([&] {
    ++restrictions;
    windowsBefore = sim::liveWindows().size();
    comBefore = sim::comInitialized();
    loadsBefore = loadsSinceStart().size();
  });
  std::string folder;
  leaveNotingFolder(&folder);
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(restrictions, 1);
  EXPECT_EQ(sim::defaultDllDirectories(), static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
  EXPECT_EQ(windowsBefore, 0u) << "the title window came first";
  EXPECT_FALSE(comBefore);
  EXPECT_EQ(loadsBefore, 0u);
  EXPECT_EQ(loadsSinceStart(), std::vector<std::string>{"C:\\WINDOWS\\SYSTEM32\\comctl32.dll"});
}

TEST_F(SetupDriverTest, ACompletedInstallationNeedingARestartAsksAndRestartsLast) {
  walkToSummary();
  pressOn("AboutToInstall", IDOK);
  sim::answerNextMessageBox(IDOK);
  pressOn("AskRestart", IDOK);
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kReminder});
  ASSERT_EQ(sim::restartRequests().size(), 1u);
  EXPECT_TRUE(sim::restartRequests()[0].granted);
  EXPECT_TRUE(sim::shutdownPrivilegeEnabled());
  EXPECT_EQ(installOptions.restartNeeded, 1);
}

TEST_F(SetupDriverTest, DeclinedRestartLeavesTheMachineRunning) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  walkToSummary();
  pressOn("AboutToInstall", IDOK);
  sim::answerNextMessageBox(IDOK);
  pressOn("AskRestart", IDCANCEL);
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(installOptions.restartNeeded, 0);
  EXPECT_TRUE(sim::restartRequests().empty());
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kReminder});
}

TEST_F(SetupDriverTest, ARefusedRestartIsReportedAfterEveryWindowIsGone) {
  sim::setUserHoldsShutdownRight(false);
  walkToSummary();
  pressOn("AboutToInstall", IDOK);
  sim::answerNextMessageBox(IDOK);
  pressOn("AskRestart", IDOK);
  size_t windowsLeft = 99;
  sim::answerNextMessageBox(IDOK, [&] { windowsLeft = sim::liveWindows().size(); });
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{kReminder, kManualRestart}));
  EXPECT_EQ(windowsLeft, 0u);
  EXPECT_EQ(sim::messageBoxes().back().owner, nullptr);
}

TEST_F(SetupDriverTest, AnIncompleteRunWithARestartPendingStillOffersIt) {
  // An earlier attempt's pipe driver step scheduled a restart; then the user leaves.
  walkToSummary();
  onDialog("AboutToInstall", [](HWND page) {
    installOptions.restartNeeded = 1;
    sim::answerNextMessageBox(IDYES);
    sim::answerNextMessageBox(IDOK);
    sim::clickButton(page, IDCANCEL);
  });
  pressOn("AskRestart", IDCANCEL);
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{kLeaveQuestion, kNotComplete}));
  EXPECT_EQ(installOptions.restartNeeded, 0);
  EXPECT_TRUE(sim::restartRequests().empty());
}

TEST_F(SetupDriverTest, WithoutComTheUserIsToldAndNothingElseRuns) {
  sim::setComInitializationFails(true);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"Failed to initialize COM library"});
  EXPECT_NE(sim::messageBoxes()[0].owner, nullptr);
  EXPECT_TRUE(sim::dialogHistory().empty());
  sim::setComInitializationFails(false);
}

// Another run of the setup or the uninstaller holds the product's lock (in
// the global namespace on NT, made by another user and closed to this one, or
// under the plain name on 9x, which has no namespaces): one message, and
// nothing shown, read or written.
TEST_F(SetupDriverTest, WhileAnotherRunHoldsTheLockTheSecondSetupSaysSoAndTouchesNothing) {
  struct Case {
    sim::WindowsFamily family;
    const char* held;
    bool accessible;
  };
  const Case cases[] = {{sim::WindowsFamily::NT, "Global\\Velk Modular Setup", true},
                        {sim::WindowsFamily::NT, "Global\\Velk Modular Setup", false},
                        {sim::WindowsFamily::Win9x, "Velk Modular Setup", true}};
  size_t boxes = 0;
  for (const Case& held : cases) {
    SCOPED_TRACE(held.held);
    sim::setWindowsFamily(held.family);
    sim::holdMutex(held.held, held.accessible);
    sim::answerNextMessageBox(IDOK);
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(sim::messageBoxes().size(), ++boxes);
    EXPECT_EQ(sim::messageBoxes().back().text, "Velk Modular Setup is already running.");
    EXPECT_EQ(sim::messageBoxes().back().caption, "Velk Modular 2.08.004 Install");
  }
  EXPECT_TRUE(sim::dialogHistory().empty());
  EXPECT_TRUE(sim::resourceLookups().empty()) << "the payload was read";
  EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, kProductKey));
}

TEST_F(SetupDriverTest, ASplashThatCannotBeMadeIsAnInternalError) {
  sim::failDialogCreation("InitSetup");
  EXPECT_EXIT(
      {
        sim::answerNextMessageBox(IDOK);
        run();
      },
      ::testing::ExitedWithCode(1), "Internal error");
}

namespace {

// Every file and folder of drive C:, as paths below its root; the logs the
// cases ask for aside.
std::set<std::string> driveC(const std::string& root) {
  std::set<std::string> contents;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root + "/C")) {
    std::string path = entry.path().string().substr(root.size() + 2);
    if (path.find(".log") == std::string::npos) contents.insert(path);
  }
  return contents;
}

// One run of setup.exe with a command line on a machine arranged for it, and
// what the user or the administrator sees: the exit code, with `installedIn`
// the installation there, else the drive as it was, and with `logged` what
// the log named by the command line holds. An unattended run shows no window
// and no box whatever happens.
struct Outcome {
  const char* name;
  const char* commandLine;
  std::function<void()> arrange;
  int exitCode;
  const char* installedIn;
  std::string logged = "";
};

const char kLog[] = "C:\\setup.log";

const char kSome[] = "C:\\Some Folder";
// 250 characters: fits the command line, but not beside the longest name.
const std::string kTooLongLine = "/S /D=C:\\Some Folder\\" + std::string(235, 'a');
const char* const kTooLong = kTooLongLine.c_str();

const Outcome kOutcomes[] = {
    {"Installed", "/S /LOG=C:\\setup.log /COMPONENTS=program,skins /D=C:\\Some Folder", [] {}, 0, kSome,
     "Wrote C:\\Some Folder\\vm.exe\r\n"},
    {"InstalledFromQuotedSwitches", "-s \"/COMPONENTS=Program,SKINS\" \"/D=C:\\Some Folder\"  ", [] {}, 0, kSome},
    {"DriverNeedsRestart", "/S /NORESTART /LOG=C:\\setup.log", [] {}, 3010, kTarget,
     "Windows must be restarted; not restarted (/S)\r\nExit code 3010\r\n"},
    {"UnknownSwitch", "/S /Q /D=C:\\Some Folder", [] {}, 10, nullptr},
    {"NoComponents", "/S /COMPONENTS=", [] {}, 10, nullptr},
    // The refusal is added to the log an earlier run left, not put in its place.
    {"AlreadyRunning", "/S /LOG=C:\\setup.log",
     [] {
       sim::holdMutex("Global\\Velk Modular Setup");
       ASSERT_TRUE(sim::writeFile(kLog, "Exit code 0\r\n"));
     },
     3, nullptr,
     "Exit code 0\r\n" + std::string(kCaption) +
         "\r\nCommand line: /S /LOG=C:\\setup.log\r\nMessage: Velk Modular Setup is already running.\r\nExit code 3\r\n"},
    {"NoFloatingPointUnit", "/S", [] { sim::setProcessorWithoutCpuid(false); }, 9, nullptr},
    {"WindowsDriveFull", "/S", [] { sim::setFreeBytes('C', 40000); }, 6, nullptr},
    {"TargetDriveFull", "/S /LOG=C:\\setup.log /D=D:\\VM",
     [] {
       sim::addDrive('D');
       sim::setFreeBytes('D', 100);
     },
     6, nullptr,
     "Question: The target drive does not have enough free space.\r\n  Proceed anyway?\r\nAnswer: No (unattended)\r\n"
     "Message: Installation was not complete\r\nExit code 6\r\n"},
    {"NoRightsForTheDriver", "/S",
     [] { sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager"); }, 4,
     nullptr},
    {"NoRightsNeededWithoutTheDriver", "/S /COMPONENTS=program",
     [] { sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager"); }, 0,
     kTarget},
    {"FolderTooLong", kTooLong, [] {}, 5, nullptr},
    {"FolderThroughAJunction", "/S /D=C:\\Link\\VM",
     [] {
       ASSERT_TRUE(createDirectoryPath("C:\\Elsewhere"));
       ASSERT_TRUE(sim::makeReparsePoint("C:\\Link", "C:\\Elsewhere"));
     },
     5, nullptr},
    {"DamagedPayload", "/S", [] { sim::removeResource(kPayloadResourceType, 601); }, 7, nullptr},
    {"WriteFailureRollsBack", "/S /D=C:\\Some Folder", [] { sim::failCall(sim::Fault::fileWrite, 3); }, 8, nullptr},
    {"ChoicesOnThePagesWithoutRestart", "/NORESTART /COMPONENTS=program,pipe,skins /D=C:\\Some Folder",
     [] {
       pressOn("Welcome", IDOK);
       pressOn("License", IDOK);
       onDialog("Customize", [](HWND page) {
         for (int id = IDC_CHECK_PROGRAM; id <= IDC_CHECK_SKINS; ++id)
           EXPECT_EQ(IsDlgButtonChecked(page, id) == BST_CHECKED, id == 100 || id == 103 || id == 105) << id;
         sim::clickButton(page, IDOK);
       });
       onDialog("Directory", [](HWND page) {
         EXPECT_EQ(sim::controlText(page, IDC_TARGET_FOLDER), kSome);
         sim::clickButton(page, IDOK);
       });
       pressOn("AboutToInstall", IDOK);
       sim::answerNextMessageBox(IDOK);
       // In place of the restart notice.
       sim::answerNextMessageBox(IDOK, [] {
         EXPECT_EQ(sim::messageBoxes().back().text,
                   "Installation successfully complete\nWindows must be restarted to complete the installation.");
       });
     },
     3010, kSome},
    {"Help", "/?", [] { sim::answerNextMessageBox(IDOK); }, 0, nullptr},
    {"LeftWithASwitch", "/LOG=C:\\setup.log", [] { onDialog("Welcome", leaveOnWelcome); }, 2, nullptr},
    {"LeftWithoutSwitches", "", [] { onDialog("Welcome", leaveOnWelcome); }, 0, nullptr},
};

class SetupExitCodeTest : public SetupDriverTest, public ::testing::WithParamInterface<Outcome> {};

INSTANTIATE_TEST_SUITE_P(Outcomes, SetupExitCodeTest, ::testing::ValuesIn(kOutcomes),
                         [](const ::testing::TestParamInfo<Outcome>& info) { return std::string(info.param.name); });

}  // namespace

TEST_P(SetupExitCodeTest, EndsWithTheCodeOfItsOutcome) {
  const Outcome& outcome = GetParam();
  // Folders every machine has, so that a failure shows as what it left.
  ASSERT_TRUE(createDirectoryPath("C:\\Program Files"));
  ASSERT_TRUE(createDirectoryPath(sim::programsFolder().c_str()));
  outcome.arrange();
  std::set<std::string> before = driveC(root());
  int result = runSetupProgram(nullptr, outcome.commandLine);
  sim::endProgram();
  EXPECT_EQ(result, outcome.exitCode);
  if (!outcome.logged.empty()) {
    EXPECT_NE(contentOf(kLog).find(outcome.logged), std::string::npos) << contentOf(kLog);
  }
  std::string words = " " + std::string(outcome.commandLine) + " ";
  if (words.find(" /S ") != std::string::npos || words.find(" -s ") != std::string::npos) {
    EXPECT_TRUE(sim::messageBoxes().empty()) << sim::messageBoxes()[0].text;
    EXPECT_TRUE(sim::dialogHistory().empty());
    EXPECT_TRUE(sim::restartRequests().empty());
  }
  if (outcome.installedIn == nullptr) {
    std::set<std::string> after = driveC(root());
    // A folder made for the installation stays, emptied, as it does after
    // an interactive run.
    std::error_code absent;
    if (std::filesystem::is_empty(sim::hostPath(kSome), absent)) after.erase("/Some Folder");
    EXPECT_EQ(after, before);
    EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, kProductKey));
    return;
  }
  std::string folder = outcome.installedIn;
  EXPECT_TRUE(sim::fileExists(folder + "\\vm.exe"));
  // Only what /COMPONENTS= named, or everything.
  if (folder == kSome) {
    EXPECT_TRUE(sim::fileExists(folder + "\\Skins\\Default.ini"));
    EXPECT_FALSE(sim::fileExists(folder + "\\Examples\\Drone.vme"));
  }
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velk Modular",
                      "QuietUninstallString", "\"" + folder + "\\_vmunins.exe\" /S"));
}

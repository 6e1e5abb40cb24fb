// The installation sequence end to end on packer-made entries for every
// component id: the order of the entries, what the data file holds, two
// installations into one folder, and each failure with its message, its
// result and whether it undoes the installation.
#include <string>
#include <vector>

#include "install/installation.h"
#include "install/registry.h"
#include "installing_fixture.h"
#include "payload/component_table.h"
#include "vmpack/entry_builder.h"

namespace {

const char kTarget[] = "C:\\Program Files\\Velk Modular";
const char kDriverMarker[] = "Velk Modular MIDI pipe driver";

std::string inTarget(const std::string& name) { return std::string(kTarget) + "\\" + name; }

// Entry 100 holds 300 bytes: the decoder calls the progress function after
// its symbols 256 to 299, the 44th call coming with its last symbol. Every
// other entry is too small to call it at all.
const int kProgressCallsOfEntry100 = 2;

void installSamplePayload() {
  installEntry(100, makeEntry({}, {{"vm.exe", std::string(9000, 'v')}, {"Readme.txt", std::string(20, 'r')}}));
  installEntry(101, makeEntry({"Help"}, {{"vm.hlp", "help"}, {"Help\\topics.txt", "topics"}}));
  installEntry(102, makeEntry({"Bin"}, {{"Bin\\dsp.dll", "dsp"}}));
  installEntry(103, makeEntry({"Work"}, {}));
  installEntry(104, makeEntry({}, {{"Work\\default.vme", "default ensemble"}}));
  installEntry(105, makeEntry({}, {{"Bin\\fx.dll", "fx"}}));
  installEntry(200, makeEntry({"Modules", "Modules\\Standard"}, {{"Modules\\Standard\\osc.vmm", "osc"}}));
  installEntry(300, makeEntry({"Library"}, {{"Library\\user.vmm", "user"}}));
  installEntry(400, makeEntry({}, {{"_velkp16.drv", std::string("16 ") + kDriverMarker}}));
  installEntry(450, makeEntry({}, {{"_velkp32.dll", std::string("32 ") + kDriverMarker}}));
  installEntry(500, makeEntry({"Examples"}, {{"Examples\\demo.vme", "demo"}}));
  installEntry(600, makeEntry({"Skins"}, {{"Skins\\classic.skn", "classic"}}));
  installEntry(601, makeEntry({"Skins", "Skins\\Dark"}, {{"Skins\\Dark\\dark.skn", "dark"}}));
  installEntry(1000, makeEntry({}, {{"_vmunins.exe", "uninstaller"}}));
  installEntry(1001, makeEntry({}, {{"Velk Modular Home Page.url", "[InternetShortcut]"}}));
  installEntry(1002, makeEntry({}, {{"Velk Modular License.txt", "licence"}}));
}

class InstallationTest : public InstallingTest {
 protected:
  void SetUp() override {
    InstallingTest::SetUp();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    selectPipeDriverEntry(true);
    installSamplePayload();
  }

  void TearDown() override {
    EXPECT_EQ(sim::liveShellLinks(), 0);
    CoUninitialize();
    // The table starts each test as the program starts: with entry 400.
    selectPipeDriverEntry(false);
    for (const sim::MessageBoxRecord& box : sim::messageBoxes()) {
      EXPECT_EQ(box.owner, dialog_) << box.text;
      EXPECT_EQ(box.caption, kCaption) << box.text;
      EXPECT_EQ(box.flags, box.text == "Cancel?" ? static_cast<UINT>(MB_YESNO) : static_cast<UINT>(MB_OK));
    }
    InstallingTest::TearDown();
  }

  static void select(std::vector<int32_t> flags) {
    for (int32_t c = 0; c < kComponentCount; ++c) installOptions.componentSelected[c] = flags[c];
  }

  static std::vector<RecordSeen> dataFileRecords() {
    UninstallList saved;
    EXPECT_TRUE(saved.loadFrom(inTarget("_vmunins.dat").c_str()));
    return recordsOf(saved);
  }

  static bool hasShortcuts() { return sim::fileExists(sim::programsFolder() + "\\Velk Modular\\Uninstall Velk Modular.lnk"); }
  static bool isRegistered() { return sim::registryKeyExists(HKEY_CURRENT_USER, kProductKeyPath); }

  // Nothing of the installation is left but the target folder itself.
  static void expectRolledBack() {
    std::vector<std::string> left;
    for (const char* name : {"vm.exe", "Readme.txt", "vm.hlp", "Help", "Bin", "Work", "Modules", "Library",
                             "_velkp32.dll", "Examples", "Skins", "_vmunins.exe", "Velk Modular Home Page.url",
                             "Velk Modular License.txt", "_vmunins.dat"}) {
      if (sim::fileExists(inTarget(name)) || sim::folderExists(inTarget(name))) left.push_back(name);
    }
    EXPECT_TRUE(left.empty()) << left.front() << " and " << left.size() - 1 << " more are left";
    EXPECT_TRUE(sim::folderExists(kTarget));
    EXPECT_TRUE(recordsOf(uninstallList).empty());
    EXPECT_FALSE(isRegistered());
    EXPECT_FALSE(hasShortcuts());
  }
};

}  // namespace

TEST_F(InstallationTest, InstallsEveryEntryInComponentOrderAndListsAllButTheUninstallersFiles) {
  progressTotal = 1;
  EXPECT_EQ(runInstallation(), kInstallationDone);
  EXPECT_TRUE(messages().empty());
  // The last looks are the pipe driver step's: its entry's catalogue, then
  // the entry decoded again for the system folder's copy.
  EXPECT_EQ(sim::resourceLookups(),
            (std::vector<int>{100, 101, 102, 103, 104, 105, 200, 300, 450, 500, 600, 601, 1000, 1001, 1002, 450, 450}));
  EXPECT_EQ(dataFileRecords(),
            (std::vector<RecordSeen>{
                file(inTarget("_vmunins.dat")), file(inTarget("vm.exe")), file(inTarget("Readme.txt")),
                folder(inTarget("Help")), file(inTarget("vm.hlp")), file(inTarget("Help\\topics.txt")),
                folder(inTarget("Bin")), file(inTarget("Bin\\dsp.dll")), folder(inTarget("Work")),
                file(inTarget("Work\\default.vme")), file(inTarget("Bin\\fx.dll")), folder(inTarget("Modules")),
                folder(inTarget("Modules\\Standard")), file(inTarget("Modules\\Standard\\osc.vmm")),
                folder(inTarget("Library")), file(inTarget("Library\\user.vmm")), file(inTarget("_velkp32.dll")),
                folder(inTarget("Examples")), file(inTarget("Examples\\demo.vme")), folder(inTarget("Skins")),
                file(inTarget("Skins\\classic.skn")), folder(inTarget("Skins\\Dark")),
                file(inTarget("Skins\\Dark\\dark.skn")), file(inTarget("Velk Modular Home Page.url")),
                file(inTarget("Velk Modular License.txt"))}));
  EXPECT_EQ(recordsOf(uninstallList), dataFileRecords());
  EXPECT_EQ(contentOf(inTarget("_vmunins.exe")), "uninstaller");
  EXPECT_EQ(contentOf(inTarget("Skins\\Dark\\dark.skn")), "dark");
  // The bar counted every byte of the installation, from its start.
  EXPECT_GT(bytesWritten, 300);
  EXPECT_TRUE(isRegistered());
  EXPECT_TRUE(hasShortcuts());
  // The driver moved into the system folder and asks for a restart.
  EXPECT_FALSE(sim::fileExists(inTarget("_velkp32.dll")));
  EXPECT_TRUE(sim::fileExists(sim::systemFolder() + "\\velkpipe.dll"));
  EXPECT_EQ(installOptions.restartNeeded, 1);
}

TEST_F(InstallationTest, DeselectedComponentsAreSkippedAndTheSupportEntriesAlwaysInstalled) {
  select({1, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(runInstallation(), kInstallationDone);
  EXPECT_EQ(sim::resourceLookups(), (std::vector<int>{100, 101, 102, 103, 104, 105, 1000, 1001, 1002}));
  EXPECT_EQ(installOptions.componentSelected[kComponentSupport], 1);
  // No driver step without its component.
  EXPECT_FALSE(sim::fileExists(sim::systemFolder() + "\\velkpipe.dll"));
  EXPECT_EQ(installOptions.restartNeeded, 0);
  EXPECT_TRUE(hasShortcuts());
}

TEST_F(InstallationTest, ASecondInstallationIntoTheSameFolderInAnotherSpellingKeepsTheFirstOnesRecords) {
  select({0, 0, 0, 0, 1, 0, 0});
  ASSERT_EQ(runInstallation(), kInstallationDone);
  std::vector<RecordSeen> first = dataFileRecords();
  uninstallList.clear();  // a new run of the program

  select({0, 0, 0, 0, 0, 1, 0});
  setTargetFolder("c:\\progra~1\\Velk Modular\\..\\VELK MODULAR. ");
  ASSERT_EQ(runInstallation(), kInstallationDone);
  // Written down as the folder is spelt on the disk.
  EXPECT_STREQ(installOptions.targetFolder, kTarget);
  std::vector<RecordSeen> expected = first;
  for (const char* name : {"Skins", "Skins\\classic.skn", "Skins\\Dark", "Skins\\Dark\\dark.skn"}) {
    std::string path = inTarget(name);
    expected.push_back(std::string(name).find('.') == std::string::npos ? folder(path) : file(path));
  }
  EXPECT_EQ(dataFileRecords(), expected);
  EXPECT_TRUE(sim::fileExists(inTarget("Examples\\demo.vme")));
}

TEST_F(InstallationTest, ACorruptEntryRollsBackEverythingTheUninstallerIncluded) {
  sim::removeResource(kPayloadResourceType, 1002);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runInstallation(), kInstallationCorrupt);
  EXPECT_EQ(messages(), (std::vector<std::string>{"The Setup file is corrupt"}));
  expectRolledBack();
}

TEST_F(InstallationTest, APathTooLongInsideAnEntryRollsBackWithTheGeneralFailure) {
  installEntry(600, makeEntry({"Skins"}, {{"Skins\\" + std::string(240, 'k'), "long"}}));
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runInstallation(), kExtractPathTooLong);
  EXPECT_EQ(messages(), (std::vector<std::string>{"The Setup failed"}));
  expectRolledBack();
}

TEST_F(InstallationTest, AWriteFailureIsReportedByTheExtractionAloneAndRollsBack) {
  ASSERT_TRUE(createDirectoryPath(inTarget("Examples").c_str()));
  ASSERT_TRUE(sim::writeFile(inTarget("Examples\\demo.vme"), "open in the synthesizer"));
  sim::lockFile(inTarget("Examples\\demo.vme"));
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runInstallation(), kInstallationStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to write " + inTarget("Examples\\demo.vme")}));
  // The locked file and so its folder stay; everything else goes.
  EXPECT_EQ(contentOf(inTarget("Examples\\demo.vme")), "open in the synthesizer");
  EXPECT_FALSE(sim::fileExists(inTarget("vm.exe")));
  EXPECT_FALSE(sim::folderExists(inTarget("Modules")));
  EXPECT_TRUE(recordsOf(uninstallList).empty());
}

TEST_F(InstallationTest, InstallingAgainIntoTheSameFolderCountsTheDriverOnce) {
  const char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
  for (sim::WindowsFamily family : {sim::WindowsFamily::NT, sim::WindowsFamily::Win9x}) {
    sim::setWindowsFamily(family);
    selectPipeDriverEntry(family == sim::WindowsFamily::NT);
    uninstallList.clear();
    ASSERT_EQ(runInstallation(), kInstallationDone);
    uninstallList.clear();
    ASSERT_EQ(runInstallation(), kInstallationDone);
    uninstallList.clear();
    std::string driver = sim::systemFolder() + (family == sim::WindowsFamily::NT ? "\\velkpipe.dll" : "\\velkpipe.drv");
    EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, driver, 1)) << driver;
  }
}

TEST_F(InstallationTest, OnAClockThatStandsStillTheInstallationsFirstProgressCallStillPumps) {
  sim::setClockStepPerReading(0);
  // A pump just before, as the licence's extraction leaves one.
  installProgress(0.0);
  int polls = sim::emptyPolls();
  pressCancelAtPump(1);
  EXPECT_EQ(runInstallation(), kInstallationStopped);
  EXPECT_EQ(sim::emptyPolls() - polls, 1);
  expectRolledBack();
}

TEST_F(InstallationTest, ACancelAtAnyProgressCallOfAnEntryRollsBackWithoutAMessage) {
  for (int call = 1; call <= kProgressCallsOfEntry100; ++call) {
    cancelRequested = 0;
    int polls = sim::emptyPolls();
    pressCancelAtPump(call);
    EXPECT_EQ(runInstallation(), kInstallationStopped) << call;
    EXPECT_EQ(sim::emptyPolls() - polls, call);
    EXPECT_TRUE(messages().empty());
    expectRolledBack();
    // Nothing after entry 100 was begun.
    EXPECT_EQ(sim::resourceLookups().back(), 100);
  }
}

TEST_F(InstallationTest, ADataFileThatCannotBeWrittenRollsBack) {
  ASSERT_TRUE(createDirectoryPath(kTarget));
  UninstallList empty;
  ASSERT_TRUE(empty.saveTo(inTarget("_vmunins.dat").c_str()));
  sim::lockFile(inTarget("_vmunins.dat"));
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runInstallation(), kInstallationStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to create uninstall info. Aborting setup"}));
  sim::unlockFile(inTarget("_vmunins.dat"));
  ASSERT_TRUE(DeleteFileA(inTarget("_vmunins.dat").c_str()));
  expectRolledBack();
}

TEST_F(InstallationTest, NoMemoryToListTheDataFileItselfStopsBeforeAnyEntry) {
  // The first block the sequence asks for is the data file's own record:
  // without it the data file would outlive the uninstaller.
  sim::failCall(sim::Fault::heapAlloc);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runInstallation(), kInstallationStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to create uninstall info. Aborting setup"}));
  EXPECT_EQ(sim::injectedFaults(), 1);
  EXPECT_TRUE(sim::resourceLookups().empty());
  EXPECT_TRUE(recordsOf(uninstallList).empty());
  EXPECT_FALSE(sim::fileExists(inTarget("_vmunins.dat")));
}

TEST_F(InstallationTest, ADataFilePathTooLongStopsBeforeAnyEntry) {
  // 250 characters: joined with "_vmunins.dat" the path would be 263 long.
  std::string target = "C:\\" + std::string(200, 'a') + "\\" + std::string(46, 'b');
  ASSERT_EQ(target.size(), 250u);
  setTargetFolder(target);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runInstallation(), kInstallationStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to create uninstall info. Aborting setup"}));
  EXPECT_TRUE(sim::resourceLookups().empty());
  EXPECT_TRUE(sim::folderExists(target));
}

TEST_F(InstallationTest, ATargetFolderThatCannotBeCreatedIsReportedAndNothingIsDone) {
  setTargetFolder("Q:\\Velk Modular");
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runInstallation(), kInstallationStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to create Q:\\Velk Modular"}));
  EXPECT_TRUE(sim::resourceLookups().empty());
  EXPECT_TRUE(recordsOf(uninstallList).empty());
}

TEST_F(InstallationTest, FailedStartMenuItemsKeepTheInstallationAndSkipTheDriver) {
  sim::setProgramsFolder("");
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runInstallation(), kInstallationStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to create the Start Menu items"}));
  EXPECT_TRUE(sim::fileExists(inTarget("vm.exe")));
  EXPECT_EQ(dataFileRecords().size(), 25u);
  EXPECT_TRUE(isRegistered());
  EXPECT_TRUE(sim::fileExists(inTarget("_velkp32.dll")));
  EXPECT_FALSE(sim::fileExists(sim::systemFolder() + "\\velkpipe.dll"));
}

TEST_F(InstallationTest, AFailedDriverKeepsTheInstallationAndTheShortcuts) {
  installEntry(450, makeEntry({}, {{"readme-driver.txt", "no driver in here"}}));
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runInstallation(), kInstallationStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to install the Velk Pipe driver"}));
  EXPECT_TRUE(sim::fileExists(inTarget("vm.exe")));
  EXPECT_TRUE(sim::fileExists(inTarget("_vmunins.dat")));
  EXPECT_TRUE(isRegistered());
  EXPECT_TRUE(hasShortcuts());
}

TEST_F(InstallationTest, ARegistryThatRefusesWritingStillEndsInSuccess) {
  sim::refuseFullAccess(HKEY_CURRENT_USER, "");
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths");
  EXPECT_EQ(runInstallation(), kInstallationDone);
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(isRegistered());
  EXPECT_TRUE(hasShortcuts());
  EXPECT_TRUE(sim::fileExists(sim::systemFolder() + "\\velkpipe.dll"));
}

TEST_F(InstallationTest, OnWindows9xTheSixteenBitDriverIsInstalled) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  selectPipeDriverEntry(false);
  EXPECT_EQ(runInstallation(), kInstallationDone);
  EXPECT_EQ(sim::resourceLookups()[8], 400);
  EXPECT_TRUE(sim::fileExists(sim::systemFolder() + "\\velkpipe.drv"));
}

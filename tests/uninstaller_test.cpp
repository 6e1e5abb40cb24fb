// The uninstaller from start to end: the question, the data file, the
// hand-over to its copy in the temporary folder, everything an installation
// made removed again on both families, files in use left for the next start
// of Windows, and a second installation that keeps what is its own.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "install/replace_on_restart.h"
#include "uninstall/removal.h"
#include "uninstall_fixture.h"

namespace {

const char kCaption[] = "Velk Modular Uninstall";
const char kQuestion[] = "Are you sure you want to completely remove Velk Modular and all of its components?";
const char kMissingData[] =
    "Uninstall information is missing or damaged. Velk Modular cannot be removed automatically.";
const char kRemoved[] = "Velk Modular was removed from your computer.";
const char kRestartNotice[] =
    "Some files are in use and will be removed when you restart Windows.\n\nDo you want to restart Windows now?";
const char kLeftBehind[] = "Some items could not be removed. You can delete them yourself.";
// The copy on NT, in a folder of its own that only administrators and the
// system may write to; on 95 to ME, in the temporary folder itself.
const char kCopyFolder[] = "C:\\WINDOWS\\Temp\\~vmun000";
const char kCopy[] = "C:\\WINDOWS\\Temp\\~vmun000\\_vmunins.exe";
const char kCopy9x[] = "C:\\WINDOWS\\TEMP\\~vmun000.exe";
const char kPrivateFolder[] = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";


std::string shortPathOf(const std::string& path) {
  char buffer[MAX_PATH];
  DWORD length = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(buffer) : std::string();
}

// What waits for the next start: the delayed moves on NT, the lines of
// wininit.ini's "rename" section elsewhere, each as "destination=source"
// with an empty destination for a deletion.
std::vector<std::string> scheduledAtRestart() {
  std::vector<std::string> lines;
  if (sim::windowsFamily() == sim::WindowsFamily::NT) {
    for (const sim::DelayedMove& move : sim::delayedMoves()) {
      EXPECT_EQ(move.flags, static_cast<DWORD>(MOVEFILE_DELAY_UNTIL_REBOOT));
      lines.push_back(move.destination + "=" + move.source);
    }
  } else {
    for (const std::string& line : sim::profileSection("wininit.ini", "rename"))
      lines.push_back(line.compare(0, 4, "NUL=") == 0 ? line.substr(3) : line);
  }
  return lines;
}

// How a deletion at the next start names `path` on this family.
std::string deletion(const std::string& path) {
  return "=" + (sim::windowsFamily() == sim::WindowsFamily::NT ? path : shortPathOf(path));
}

// What waits for the next start after `before`: the copy, and on NT its folder.
std::vector<std::string> withCopyCleanup(std::vector<std::string> before = {}) {
  if (sim::windowsFamily() == sim::WindowsFamily::NT) {
    before.push_back(deletion(kCopy));
    before.push_back(deletion(kCopyFolder));
  } else {
    before.push_back(deletion(kCopy9x));
  }
  return before;
}

class UninstallerTest : public UninstallTest {};

class UninstallerOnEachFamilyTest : public UninstallTest,
                                    public ::testing::WithParamInterface<sim::WindowsFamily> {
 protected:
  void SetUp() override {
    UninstallTest::SetUp();
    sim::setWindowsFamily(GetParam());
  }
};

INSTANTIATE_TEST_SUITE_P(Families, UninstallerOnEachFamilyTest,
                         ::testing::Values(sim::WindowsFamily::NT, sim::WindowsFamily::Win9x),
                         [](const ::testing::TestParamInfo<sim::WindowsFamily>& info) {
                           return info.param == sim::WindowsFamily::NT ? std::string("NT") : std::string("Win9x");
                         });

}  // namespace

TEST_P(UninstallerOnEachFamilyTest, LeavesTheMachineAsItWasBeforeTheInstallationButForItsCopy) {
  ASSERT_TRUE(createDirectoryPath(sim::programsFolder().c_str()));
  std::set<std::string> before = driveContents();
  install(kInstallFolder);
  uninstall(kInstallFolder);

  std::set<std::string> after = driveContents();
  // The copy cannot delete itself; it waits for the next start, unannounced.
  // On 95 to ME, whose restart deletes no folder, it has none.
  if (GetParam() == sim::WindowsFamily::NT) {
    EXPECT_EQ(after.erase("/WINDOWS/TEMP/~vmun000/_vmunins.exe"), 1u);
    EXPECT_EQ(after.erase("/WINDOWS/TEMP/~vmun000"), 1u);
  } else {
    EXPECT_EQ(after.erase("/WINDOWS/TEMP/~vmun000.exe"), 1u);
    EXPECT_EQ(after.erase("/WINDOWS/wininit.ini"), 1u);
  }
  EXPECT_EQ(after, before);
  EXPECT_EQ(scheduledAtRestart(), withCopyCleanup());

  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    EXPECT_FALSE(sim::registryKeyExists(root, kVendorKey));
    EXPECT_FALSE(sim::registryKeyExists(root, kUninstallKey));
  }
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
  EXPECT_TRUE(sim::registryValueNames(HKEY_LOCAL_MACHINE, kSharedDllsKey).empty());
  EXPECT_TRUE(sim::registryValueNames(HKEY_LOCAL_MACHINE, kDrivers32Key).empty());
  EXPECT_TRUE(sim::registryValueNames(HKEY_LOCAL_MACHINE, kDriversDescKey).empty());
  EXPECT_EQ(sim::profileSection("system.ini", "drivers"), std::vector<std::string>{"wave=mmsystem.dll"});

  ASSERT_EQ(sim::messageBoxes().size(), 2u);
  const sim::MessageBoxRecord& question = sim::messageBoxes()[0];
  EXPECT_EQ(question.text, kQuestion);
  EXPECT_EQ(question.caption, kCaption);
  EXPECT_EQ(question.flags & 0xF, static_cast<UINT>(MB_YESNO));
  EXPECT_EQ(sim::messageBoxes()[1].text, kRemoved);
  EXPECT_EQ(sim::messageBoxes()[1].caption, kCaption);
}

// /S: no question and no message. The original waits for its copy and ends
// with the copy's exit code; the copy, holding the lock the original holds,
// ends the original with its own code before deleting the original's file.
TEST_P(UninstallerOnEachFamilyTest, WithSNothingIsAskedAndTheOriginalEndsWithTheCopysCode) {
  ASSERT_TRUE(createDirectoryPath(sim::programsFolder().c_str()));
  std::set<std::string> before = driveContents();
  install(kInstallFolder);
  std::string original = in(kInstallFolder, "_vmunins.exe");
  sim::setProgramPath(original);
  sim::endStartedProcessesWhenWaitedFor(3010);
  EXPECT_EQ(runUninstaller("/S /LOG=C:\\un.log"), 3010);
  sim::endProgram();
  ASSERT_EQ(sim::startedProcesses().size(), 1u);
  EXPECT_TRUE(sim::fileExists(in(kInstallFolder, "vm.exe"))) << "the original removed what is the copy's to remove";

  DWORD originalId = sim::currentProcessId();
  sim::lockFile(original);
  sim::addProcess(originalId, false, [original] { sim::unlockFile(original); });
  sim::holdMutex(GetParam() == sim::WindowsFamily::NT ? "Global\\Velk Modular Setup" : "Velk Modular Setup");
  runCopy();
  EXPECT_EQ(sim::processExitCode(originalId), 0u);
  EXPECT_TRUE(sim::messageBoxes().empty());
  std::set<std::string> after = driveContents();
  after.erase("/un.log");
  after.erase(GetParam() == sim::WindowsFamily::NT ? "/WINDOWS/TEMP/~vmun000/_vmunins.exe" : "/WINDOWS/TEMP/~vmun000.exe");
  after.erase(GetParam() == sim::WindowsFamily::NT ? "/WINDOWS/TEMP/~vmun000" : "/WINDOWS/wininit.ini");
  EXPECT_EQ(after, before);
  EXPECT_EQ(scheduledAtRestart(), withCopyCleanup());
  EXPECT_FALSE(sim::registryKeyExists(GetParam() == sim::WindowsFamily::NT ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                                      kUninstallKey));
  std::string log = contentOf("C:\\un.log");
  // The copy keeps the switches: it logs to the same file, unattended.
  for (const std::string& line : std::vector<std::string>{"Answer: Yes (unattended)", "Deleted " + original,
                                                          "Message: Velk Modular was removed from your computer.",
                                                          "Exit code 0"})
    EXPECT_NE(log.find(line), std::string::npos) << line << " is not in\n" << log;
}

TEST_P(UninstallerOnEachFamilyTest, FilesInUseWaitForTheNextStartWithTheirFolders) {
  install(kInstallFolder);
  std::string program = in(kInstallFolder, "vm.exe");
  std::string module = in(kInstallFolder, "Modules\\Env\\ADSR.vmm");
  sim::lockFile(program);
  sim::lockFile(module);
  uninstall(kInstallFolder, IDNO);

  EXPECT_TRUE(sim::fileExists(program));
  EXPECT_TRUE(sim::fileExists(module));
  EXPECT_FALSE(sim::fileExists(in(kInstallFolder, "vm.hlp")));
  // Files first, newest first; then on NT the folders that hold them,
  // deepest first, the installation folder last, then the copy. The restart
  // of Windows 95 to ME deletes no folders: those stay, and the user is told.
  if (GetParam() == sim::WindowsFamily::NT) {
    EXPECT_EQ(scheduledAtRestart(),
              withCopyCleanup({deletion(module), deletion(program), deletion(in(kInstallFolder, "Modules\\Env")),
                               deletion(in(kInstallFolder, "Modules")), deletion(kInstallFolder)}));
    EXPECT_EQ(lastMessage(), std::string(kRemoved) + "\n\n" + kRestartNotice);
  } else {
    EXPECT_EQ(scheduledAtRestart(), withCopyCleanup({deletion(module), deletion(program)}));
    EXPECT_EQ(lastMessage(), std::string(kRemoved) + "\n\n" + kLeftBehind + "\n\n" + kRestartNotice);
  }
  EXPECT_EQ(sim::messageBoxes().back().flags & 0xF, static_cast<UINT>(MB_YESNO));
  EXPECT_TRUE(sim::restartRequests().empty());
}

TEST_P(UninstallerOnEachFamilyTest, AnInstallationWithoutTheDriverLeavesAnotherInstallationsDriverAlone) {
  const std::string without = "C:\\Tools\\Velk Modular";
  install(kInstallFolder);
  install(without, false);
  std::string driver = driverPath();
  uninstall(without);
  EXPECT_TRUE(sim::fileExists(driver));
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, driver, 1));
  EXPECT_TRUE(sim::registryValueNames(HKEY_LOCAL_MACHINE, kProductKey).size() == 1u);
  if (GetParam() == sim::WindowsFamily::NT) {
    EXPECT_FALSE(sim::registryValueNames(HKEY_LOCAL_MACHINE, kDrivers32Key).empty());
  } else {
    EXPECT_EQ(sim::profileSection("system.ini", "drivers").size(), 2u);
  }
}

TEST_P(UninstallerOnEachFamilyTest, TheUsersOwnFilesKeepTheirFolderWithoutARestart) {
  install(kInstallFolder);
  std::string patch = in(kInstallFolder, "Work\\My Patch.vme");
  ASSERT_TRUE(sim::writeFile(patch, "mine"));
  uninstall(kInstallFolder);
  EXPECT_TRUE(sim::fileExists(patch));
  // Windows 95 to ME say access denied for the folders that hold it.
  EXPECT_EQ(scheduledAtRestart(), withCopyCleanup());
  EXPECT_EQ(lastMessage(), std::string(kRemoved) + "\n\n" + kLeftBehind);
}

TEST_P(UninstallerOnEachFamilyTest, AFolderWrittenInAnotherSpellingIsStillRemovedWhole) {
  ASSERT_TRUE(createDirectoryPath("C:\\Apps\\Velk Three"));
  // The folder as the installation wrote it down, the folder itself, and the
  // path the uninstaller is started from (null: the folder).
  struct Spelling {
    const char* written;
    const char* folder;
    std::string startedFrom;
  };
  const Spelling kSpellings[] = {
      {"C:\\Apps\\One\\..\\Velk One", "C:\\Apps\\Velk One", ""},
      {"C:\\Apps\\Velk Two.", "C:\\Apps\\Velk Two", ""},
      {"C:\\Apps\\Velk Three", "C:\\Apps\\Velk Three", shortPathOf("C:\\Apps\\Velk Three")},
  };
  for (const Spelling& spelling : kSpellings) {
    SCOPED_TRACE(spelling.written);
    install(spelling.written);
    std::string from = spelling.startedFrom.empty() ? spelling.folder : spelling.startedFrom;
    uninstall(from);
    EXPECT_EQ(lastMessage(), kRemoved);
    EXPECT_FALSE(sim::folderExists(spelling.folder));
    EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
    EXPECT_FALSE(sim::fileExists(sim::programsFolder() + "\\Velk Modular\\Velk Modular.lnk"));
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      EXPECT_FALSE(sim::registryKeyExists(root, kVendorKey));
      EXPECT_FALSE(sim::registryKeyExists(root, kUninstallKey));
    }
  }
}

TEST_P(UninstallerOnEachFamilyTest, ANewerDriverWaitingForTheNextStartGoesWithTheDriver) {
  // Someone else's deletion, scheduled before the setup's replacement.
  const char kOther[] = "C:\\OTHER.TMP";
  ASSERT_TRUE(sim::writeFile(kOther, "x"));
  ASSERT_TRUE(deleteOnRestart(kOther));
  // The earlier copy, which Windows holds until the restart.
  ASSERT_TRUE(sim::writeFile(driverPath(), kDriverContent + " earlier"));
  install(kInstallFolder);
  std::string newer = driverPath();
  newer.replace(newer.size() - 8, 4, "pi00");
  ASSERT_TRUE(sim::fileExists(newer));
  uninstall(kInstallFolder);
  EXPECT_FALSE(sim::fileExists(newer));
  EXPECT_FALSE(sim::fileExists(driverPath()));
  EXPECT_EQ(scheduledAtRestart(), withCopyCleanup({deletion(kOther)}));
  EXPECT_EQ(lastMessage(), kRemoved);
}

TEST_F(UninstallerTest, AnInstallationInAFolderInsideKeepsItsEntryAppPathsAndShortcuts) {
  const std::string inside = std::string(kInstallFolder) + "\\Synth";
  install(kInstallFolder);
  install(inside);
  uninstall(kInstallFolder);
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kUninstallKey, "UninstallString", in(inside, "_vmunins.exe")));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kAppPathKey, "", in(inside, "vm.exe")));
  sim::Shortcut link;
  EXPECT_TRUE(sim::readShortcut(sim::programsFolder() + "\\Velk Modular\\Velk Modular.lnk", &link));
  EXPECT_TRUE(sim::fileExists(in(inside, "vm.exe")));
}

TEST_F(UninstallerTest, YesToTheRestartRestartsWindowsOnceEverythingIsDone) {
  install(kInstallFolder);
  sim::lockFile(in(kInstallFolder, "vm.exe"));
  uninstall(kInstallFolder, IDYES);
  ASSERT_EQ(sim::restartRequests().size(), 1u);
  EXPECT_EQ(sim::restartRequests()[0].flags, static_cast<UINT>(EWX_REBOOT));
  EXPECT_TRUE(sim::restartRequests()[0].granted) << "with the shutdown privilege enabled";
  EXPECT_EQ(sim::messageBoxes().size(), 2u) << "no message after a granted restart";
  // Everything that waits for the restart was scheduled before it.
  EXPECT_EQ(scheduledAtRestart().size(), 4u);
}

TEST_F(UninstallerTest, ARefusedRestartIsReportedWithTheUninstallersCaption) {
  install(kInstallFolder);
  sim::lockFile(in(kInstallFolder, "vm.exe"));
  sim::setRestartVetoed(true);
  startUninstaller(kInstallFolder, IDYES);
  sim::answerNextMessageBox(IDYES);
  sim::answerNextMessageBox(IDOK);
  runCopy();
  ASSERT_EQ(sim::messageBoxes().size(), 3u);
  EXPECT_EQ(sim::messageBoxes()[2].text,
            "Failed to automatically reboot the system.\nPlease use Start->ShutDown to reboot manually");
  EXPECT_EQ(sim::messageBoxes()[2].caption, kCaption);
}

TEST_F(UninstallerTest, AnsweringNoChangesNothing) {
  install(kInstallFolder);
  std::set<std::string> installed = driveContents();
  startUninstaller(kInstallFolder, IDNO);
  EXPECT_TRUE(sim::startedProcesses().empty());
  EXPECT_EQ(driveContents(), installed);
  EXPECT_EQ(sim::messageBoxes().size(), 1u);
}

TEST_F(UninstallerTest, TheOriginalAndItsCopyNarrowTheSearchForLibrariesFirstAndLoadNone) {
  install(kInstallFolder);
  size_t callsBefore = sim::libraryCalls().size();
  std::vector<std::string> narrowedIn;
  bool comBefore = false;
  size_t boxesBefore = 0;
  sim::onLibrarySearchRestricted([&] {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    narrowedIn.push_back(program);
    comBefore = comBefore || sim::comInitialized();
    boxesBefore += sim::messageBoxes().size();
  });
  uninstall(kInstallFolder);
  // The copy runs from the temporary folder, which others can write to.
  EXPECT_EQ(narrowedIn, (std::vector<std::string>{in(kInstallFolder, "_vmunins.exe"), kCopy}));
  EXPECT_FALSE(comBefore);
  EXPECT_EQ(boxesBefore, 1u) << "only the original's question came before the copy's start";
  for (size_t i = callsBefore; i < sim::libraryCalls().size(); ++i)
    EXPECT_NE(sim::libraryCalls()[i].compare(0, 12, "LoadLibraryA"), 0) << sim::libraryCalls()[i];
}

TEST_F(UninstallerTest, AMissingOrDamagedDataFileIsReportedAndNothingIsRemoved) {
  install(kInstallFolder);
  std::string dataFile = in(kInstallFolder, "_vmunins.dat");
  for (const std::string& damage : {std::string("missing"), std::string("\xE0\xAA\x49\x57\x01\0\0\0\0\0\0\0", 12)}) {
    SCOPED_TRACE(damage.size() == 12 ? "version 1" : "missing");
    if (damage.size() == 12) {
      ASSERT_TRUE(sim::writeFile(dataFile, damage));
    } else {
      ASSERT_EQ(DeleteFileA(dataFile.c_str()), TRUE);
    }
    std::set<std::string> installed = driveContents();
    startUninstaller(kInstallFolder, IDYES, IDOK);
    EXPECT_EQ(lastMessage(), kMissingData);
    EXPECT_EQ(sim::messageBoxes().back().caption, kCaption);
    EXPECT_TRUE(sim::startedProcesses().empty());
    EXPECT_EQ(driveContents(), installed);
    EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "InstallDir", kInstallFolder));
  }
}

// A setup (or another uninstaller) runs: neither the original, before its
// question, nor the copy, which waited for the original to end while a setup
// started, reads the data file or removes anything.
TEST_F(UninstallerTest, WhileAnotherRunHoldsTheLockNothingIsReadOrRemoved) {
  const char kBusy[] = "Velk Modular Setup or its uninstaller is running. Nothing was removed.";
  install(kInstallFolder);
  std::set<std::string> installed = driveContents();
  // The copy runs after a setup took the lock; then the user starts the
  // uninstaller again while that setup still runs.
  startUninstaller(kInstallFolder, IDYES);
  sim::holdMutex("Global\\Velk Modular Setup");
  sim::answerNextMessageBox(IDOK);
  runCopy();
  EXPECT_EQ(lastMessage(), kBusy);
  startUninstaller(kInstallFolder, IDOK);
  EXPECT_EQ(lastMessage(), kBusy);
  EXPECT_EQ(sim::messageBoxes().size(), 3u) << "the second run asked its question";
  EXPECT_EQ(sim::startedProcesses().size(), 1u);
  std::set<std::string> left = driveContents();
  for (const std::string& path : installed) EXPECT_EQ(left.count(path), 1u) << path;
  EXPECT_EQ(scheduledAtRestart(), withCopyCleanup());
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "InstallDir", kInstallFolder));
}

// An installation at a drive's root, with a file in use: the file waits for
// the next start, but no start of Windows removes the root.
TEST_F(UninstallerTest, ADrivesRootIsNeverScheduledButCountedAsLeftBehind) {
  sim::addDrive('D');
  ASSERT_TRUE(sim::writeFile("D:\\vm.exe", "x"));
  sim::lockFile("D:\\vm.exe");
  RemovalTally tally;
  removeFile("D:\\vm.exe", tally);
  removeFolder("D:\\", tally);
  EXPECT_EQ(scheduledAtRestart(), std::vector<std::string>{deletion("D:\\vm.exe")});
  EXPECT_EQ(tally.scheduled, 1);
  EXPECT_EQ(tally.leftBehind, 1);
}

TEST_F(UninstallerTest, RecordsOutsideItsFolderAreNeverActedOn) {
  install(kInstallFolder);
  std::string outside = "C:\\Program Files\\Other\\keep.txt";
  ASSERT_TRUE(createDirectoryPath("C:\\Program Files\\Other"));
  ASSERT_TRUE(sim::writeFile(outside, "not ours"));
  UninstallList planted;
  ASSERT_TRUE(planted.loadFrom(in(kInstallFolder, "_vmunins.dat").c_str()));
  for (const char* path : {"C:\\Program Files\\Other\\keep.txt", "C:\\Program Files\\Velk Modular\\..\\Other\\keep.txt",
                           "C:\\Program Files\\Velk Modular2\\x", "C:\\WINDOWS\\system.ini"})
    ASSERT_TRUE(planted.addRecord(path, kUninstallFile));
  ASSERT_TRUE(planted.addRecord("C:\\Program Files\\Other", kUninstallFolder));
  ASSERT_TRUE(planted.saveTo(in(kInstallFolder, "_vmunins.dat").c_str()));

  uninstall(kInstallFolder);
  EXPECT_TRUE(sim::fileExists(outside));
  EXPECT_TRUE(sim::fileExists(sim::profilePath("system.ini")));
  EXPECT_FALSE(sim::folderExists(kInstallFolder));
  EXPECT_EQ(lastMessage(), kRemoved);
}

TEST_F(UninstallerTest, TheUsersOwnFilesKeepTheirFoldersAndTheMessageSaysSo) {
  install(kInstallFolder);
  std::string patch = in(kInstallFolder, "Work\\My Patch.vme");
  ASSERT_TRUE(sim::writeFile(patch, "mine"));
  uninstall(kInstallFolder);
  EXPECT_TRUE(sim::fileExists(patch));
  EXPECT_FALSE(sim::fileExists(in(kInstallFolder, "_vmunins.exe")));
  EXPECT_FALSE(sim::folderExists(in(kInstallFolder, "Help")));
  EXPECT_EQ(scheduledAtRestart(), withCopyCleanup());
  EXPECT_EQ(lastMessage(), std::string(kRemoved) + "\n\n" + kLeftBehind);
}

TEST_F(UninstallerTest, AReinstallationCutShortByAPowerFailureIsRolledBackAndRemovedWithoutLeftovers) {
  install(kInstallFolder);
  // What a re-installation leaves when the power fails half way: the earlier
  // vm.exe kept aside and named in the journal, a new one in its place, and a
  // new data file cut short.
  ASSERT_TRUE(CreateDirectoryA(in(kInstallFolder, "_vmkept").c_str(), nullptr));
  ASSERT_TRUE(MoveFileA(in(kInstallFolder, "vm.exe").c_str(), in(kInstallFolder, "_vmkept\\0000.bak").c_str()));
  ASSERT_TRUE(
      MoveFileA(in(kInstallFolder, "_vmunins.dat").c_str(), in(kInstallFolder, "_vmkept\\0001.bak").c_str()));
  ASSERT_TRUE(sim::writeFile(in(kInstallFolder, "_vmkept.lst"), "0000.bak|vm.exe\r\n0001.bak|_vmunins.dat\r\n"));
  ASSERT_TRUE(sim::writeFile(in(kInstallFolder, "vm.exe"), "MZ release 2"));
  ASSERT_TRUE(sim::writeFile(in(kInstallFolder, "_vmunins.dat"), "cut"));
  uninstall(kInstallFolder);
  EXPECT_FALSE(sim::folderExists(kInstallFolder));
  EXPECT_EQ(lastMessage(), kRemoved);
}

TEST_F(UninstallerTest, NothingIsDeletedThroughAJunctionPlantedInTheInstallationFolder) {
  install(kInstallFolder);
  // The recorded Modules folder, emptied and swapped for a junction to a
  // folder whose file has the recorded name.
  ASSERT_TRUE(DeleteFileA(in(kInstallFolder, "Modules\\Env\\ADSR.vmm").c_str()));
  ASSERT_TRUE(RemoveDirectoryA(in(kInstallFolder, "Modules\\Env").c_str()));
  ASSERT_TRUE(RemoveDirectoryA(in(kInstallFolder, "Modules").c_str()));
  ASSERT_TRUE(createDirectoryPath("C:\\Elsewhere\\Env"));
  ASSERT_TRUE(sim::writeFile("C:\\Elsewhere\\Env\\ADSR.vmm", "someone else's"));
  ASSERT_TRUE(sim::makeReparsePoint(in(kInstallFolder, "Modules"), "C:\\Elsewhere"));
  uninstall(kInstallFolder);
  EXPECT_TRUE(sim::fileExists("C:\\Elsewhere\\Env\\ADSR.vmm"));
  EXPECT_FALSE(sim::fileExists(in(kInstallFolder, "vm.exe")));
}

// Between the question and the copy's start, the installation folder is
// moved away and a junction put in its place, leading to a folder that looks
// the same: the copy removes nothing through it.
TEST_F(UninstallerTest, AnInstallationFolderSwappedForAJunctionBeforeTheCopyRunsIsLeftAlone) {
  install(kInstallFolder);
  startUninstaller(kInstallFolder, IDYES);
  ASSERT_TRUE(MoveFileA(kInstallFolder, "C:\\Moved"));
  ASSERT_TRUE(CreateDirectoryA("C:\\Decoy", nullptr));
  for (const char* name : {"_vmunins.dat", "vm.exe", "vm.hlp"})
    ASSERT_TRUE(CopyFileA((std::string("C:\\Moved\\") + name).c_str(), (std::string("C:\\Decoy\\") + name).c_str(), TRUE));
  ASSERT_TRUE(sim::makeReparsePoint(kInstallFolder, "C:\\Decoy"));
  sim::answerNextMessageBox(IDOK);
  runCopy();
  EXPECT_EQ(lastMessage(), kMissingData);
  for (const char* name : {"_vmunins.dat", "vm.exe", "vm.hlp"}) {
    EXPECT_TRUE(sim::fileExists(std::string("C:\\Decoy\\") + name)) << name;
    EXPECT_TRUE(sim::fileExists(std::string("C:\\Moved\\") + name)) << name;
  }
}

TEST_F(UninstallerTest, TheCopyIsStartedInItsOwnFolderWithTheOriginalsPathAndProcess) {
  // The user's own temporary folder, where any program the user runs may
  // swap a file: the copy, which runs elevated, is never made there.
  sim::setTempFolder("C:\\Users\\me\\Temp");
  install(kInstallFolder);
  startUninstaller(kInstallFolder, IDYES);
  EXPECT_EQ(sim::folderSecurity(kCopyFolder), kPrivateFolder);
  EXPECT_EQ(sim::openSecurityDescriptorCount(), 0);
  ASSERT_EQ(sim::startedProcesses().size(), 1u);
  const sim::StartedProcess& copy = sim::startedProcesses()[0];
  EXPECT_EQ(copy.application, kCopy);
  EXPECT_EQ(copy.commandLine, "\"" + std::string(kCopy) + "\" /original:" + std::to_string(sim::currentProcessId()) +
                                  " " + in(kInstallFolder, "_vmunins.exe"));
  EXPECT_EQ(copy.currentDirectory, kCopyFolder);
  EXPECT_TRUE(sim::fileExists(kCopy));
  // Until the copy runs, nothing is removed.
  EXPECT_TRUE(sim::fileExists(in(kInstallFolder, "vm.exe")));
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "InstallDir", kInstallFolder));
}

// While the question is up, a user who may write to the installation folder
// tries to rename the running program and put another in its place, or to
// write over it: neither works, and the copy that runs elevated is the
// program that was started.
TEST_F(UninstallerTest, TheCopyIsTheRunningProgramWhateverIsTriedOnItsFileMeanwhile) {
  install(kInstallFolder);
  const std::string program = in(kInstallFolder, "_vmunins.exe");
  const std::string started = contentOf(program);
  bool renamed = true;
  bool overwritten = true;
  sim::answerNextMessageBox(IDYES, [&] {
    renamed = MoveFileA(program.c_str(), (program + ".old").c_str()) != FALSE;
    FILE* file = openWindowsFile(program.c_str(), "wb");
    overwritten = file != nullptr;
    if (file != nullptr) fclose(file);
  });
  sim::setProgramPath(program);
  EXPECT_EQ(runUninstaller(""), 0);
  sim::endProgram();
  EXPECT_FALSE(renamed);
  EXPECT_FALSE(overwritten);
  ASSERT_EQ(sim::startedProcesses().size(), 1u);
  EXPECT_EQ(contentOf(kCopy), started);
  EXPECT_EQ(sim::openFileCount(), 0) << "the program's file is still held";
}

TEST_F(UninstallerTest, ALaterCopyTakesTheNextFreeFolder) {
  ASSERT_TRUE(createDirectoryPath(kCopyFolder));
  install(kInstallFolder);
  startUninstaller(kInstallFolder, IDYES);
  ASSERT_EQ(sim::startedProcesses().size(), 1u);
  EXPECT_EQ(sim::startedProcesses()[0].application, "C:\\WINDOWS\\Temp\\~vmun001\\_vmunins.exe");
}

TEST_F(UninstallerTest, TheCopyWaitsForTheOriginalToEndBeforeDeletingItsFile) {
  install(kInstallFolder);
  std::string original = in(kInstallFolder, "_vmunins.exe");
  startUninstaller(kInstallFolder, IDYES);
  sim::lockFile(original);
  sim::addProcess(sim::currentProcessId(), true, [original] { sim::unlockFile(original); });
  sim::answerNextMessageBox(IDOK);
  runCopy();
  EXPECT_TRUE(sim::processEnded(sim::currentProcessId()));
  EXPECT_FALSE(sim::folderExists(kInstallFolder));
  EXPECT_EQ(lastMessage(), kRemoved);
}

TEST_F(UninstallerTest, AnOriginalThatDoesNotEndLeavesItsFileForTheNextStart) {
  install(kInstallFolder);
  std::string original = in(kInstallFolder, "_vmunins.exe");
  startUninstaller(kInstallFolder, IDYES);
  sim::lockFile(original);
  sim::addProcess(sim::currentProcessId(), false);
  sim::answerNextMessageBox(IDNO);
  runCopy();
  EXPECT_EQ(scheduledAtRestart(), withCopyCleanup({deletion(original), deletion(kInstallFolder)}));
  EXPECT_EQ(lastMessage(), std::string(kRemoved) + "\n\n" + kRestartNotice);
}

TEST_F(UninstallerTest, On95ToMETheCopyIsAFileInTheTemporaryFolder) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  ASSERT_TRUE(sim::writeFile("C:\\WINDOWS\\TEMP\\~vmun000.exe", "someone else's"));
  install(kInstallFolder);
  startUninstaller(kInstallFolder, IDYES);
  ASSERT_EQ(sim::startedProcesses().size(), 1u);
  EXPECT_EQ(sim::startedProcesses()[0].application, "C:\\WINDOWS\\TEMP\\~vmun001.exe");
  EXPECT_EQ(sim::startedProcesses()[0].currentDirectory, "C:\\WINDOWS\\TEMP\\");
}

TEST_F(UninstallerTest, WithoutACopyItRemovesEverythingElseAndItselfAtTheNextStart) {
  // Windows NT 4, which cannot describe a folder only administrators may
  // write to. Asked, the user is told a restart finishes the removal; with
  // /S nothing is shown and the run ends with 3010.
  sim::setAdvapiHasSecurityDescriptorTexts(false);
  std::vector<std::string> scheduled;
  for (bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "/S" : "asked");
    std::string folder = silent ? "C:\\Tools\\Velk Modular" : kInstallFolder;
    install(folder);
    std::string program = in(folder, "_vmunins.exe");
    sim::lockFile(program);  // as Windows holds a running program's file
    size_t boxesBefore = sim::messageBoxes().size();
    if (silent) {
      sim::setProgramPath(program);
      EXPECT_EQ(runUninstaller("/S"), 3010);
      sim::endProgram();
      EXPECT_EQ(sim::messageBoxes().size(), boxesBefore);
    } else {
      startUninstaller(folder, IDYES, IDNO);
      EXPECT_EQ(lastMessage(), std::string(kRemoved) + "\n\n" + kRestartNotice);
    }
    EXPECT_TRUE(sim::startedProcesses().empty());
    EXPECT_TRUE(sim::restartRequests().empty());
    EXPECT_FALSE(sim::fileExists(in(folder, "vm.exe")));
    EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, kProductKey));
    scheduled.push_back(deletion(program));
    scheduled.push_back(deletion(folder));
    EXPECT_EQ(scheduledAtRestart(), scheduled);
  }
}

TEST_F(UninstallerTest, ASecondInstallationKeepsItsEntriesAndTheSharedDriver) {
  const std::string second = "C:\\Tools\\Velk Modular";
  install(kInstallFolder);
  install(second);
  std::string driver = driverPath();
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, driver, 2));

  uninstall(kInstallFolder);
  EXPECT_FALSE(sim::folderExists(kInstallFolder));
  EXPECT_EQ(lastMessage(), kRemoved);
  // The entries were the later installation's already, and so is the menu.
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "InstallDir", second));
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kUninstallKey, "UninstallString", in(second, "_vmunins.exe")));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kAppPathKey, "", in(second, "vm.exe")));
  sim::Shortcut link;
  EXPECT_TRUE(sim::readShortcut(sim::programsFolder() + "\\Velk Modular\\Uninstall Velk Modular.lnk", &link));
  // The driver is still counted once, and still registered.
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, driver, 1));
  EXPECT_TRUE(sim::fileExists(driver));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", "velkpipe.dll"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi", "velkpipe.dll"));

  uninstall(second);
  EXPECT_FALSE(sim::folderExists(second));
  EXPECT_FALSE(sim::fileExists(driver));
  EXPECT_FALSE(sim::folderExists(sim::programsFolder() + "\\Velk Modular"));
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) EXPECT_FALSE(sim::registryKeyExists(root, kVendorKey));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, kUninstallKey));
}

TEST_F(UninstallerTest, AStartMenuFolderWithTheUsersOwnShortcutStays) {
  install(kInstallFolder);
  std::string menu = sim::programsFolder() + "\\Velk Modular";
  ASSERT_TRUE(sim::writeFile(menu + "\\My Notes.lnk", "mine"));
  uninstall(kInstallFolder);
  EXPECT_TRUE(sim::fileExists(menu + "\\My Notes.lnk"));
  EXPECT_FALSE(sim::fileExists(menu + "\\Velk Modular.lnk"));
  EXPECT_FALSE(sim::fileExists(menu + "\\Uninstall Velk Modular.lnk"));
}

// Started with switches, the uninstaller ends with the code of what stopped
// it, and removes nothing; /S shows nothing on the way.
TEST_F(UninstallerTest, WithSwitchesEachFailureEndsWithItsCodeAndRemovesNothing) {
  install(kInstallFolder);
  sim::setProgramPath(in(kInstallFolder, "_vmunins.exe"));
  struct Case {
    const char* commandLine;
    std::function<void()> arrange;
    int exitCode;
    size_t boxes;
  };
  const Case cases[] = {
      {"/S /D=C:\\Other", [] {}, 10, 0},
      {"/?", [] { sim::answerNextMessageBox(IDOK); }, 0, 1},
      {"/LOG=C:\\un.log", [] { sim::answerNextMessageBox(IDNO); }, 2, 1},
      {"/S", [] { ASSERT_TRUE(sim::writeFile(in(kInstallFolder, "_vmunins.dat"), "damaged")); }, 7, 0},
      {"/S", [] { sim::holdMutex("Global\\Velk Modular Setup"); }, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine);
    size_t boxesBefore = sim::messageBoxes().size();
    c.arrange();
    EXPECT_EQ(runUninstaller(c.commandLine), c.exitCode);
    sim::endProgram();
    EXPECT_EQ(sim::messageBoxes().size() - boxesBefore, c.boxes);
    EXPECT_TRUE(sim::startedProcesses().empty());
    EXPECT_TRUE(sim::fileExists(in(kInstallFolder, "vm.exe")));
    EXPECT_TRUE(sim::registryKeyExists(HKEY_CURRENT_USER, kUninstallKey));
  }
  EXPECT_EQ(sim::messageBoxes()[0].text.compare(0, 30, "Usage: _vmunins.exe [/S] [/LOG"), 0);
}

// Roll-back completeness: an installation stopped at any point of its
// extraction leaves the machine's files as they were. It is stopped at every
// progress call in turn (the user's cancel) and at every file in turn (a file
// in use, a full disk), and after each stop the whole simulated disk is
// compared with what it held before.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "disk_image.h"
#include "install/installation.h"
#include "installing_fixture.h"
#include "vmpack/entry_builder.h"

namespace {

const char kTarget[] = "C:\\Program Files\\Velk Modular";

struct SampleFile {
  int entry;
  std::string name;
  size_t size;
};

// Three entries are long enough for a progress call each (the decoder calls
// after the item that reaches 4096 symbols): 100 (4420 bytes, a file boundary
// after symbol 4400), 200 (4210 bytes) and the uninstaller's 1000 (4300
// bytes), whose file is kept out of the data file.
const std::vector<std::string> kFolders100 = {"Help"};
const std::vector<std::string> kFolders101 = {"Work", "Work\\Patches"};
const std::vector<std::string> kFolders200 = {"Modules", "Modules\\Std"};
const std::vector<SampleFile> kFiles = {
    {100, "vm.exe", 4400},
    {100, "Help\\vm.hlp", 20},
    {101, "Work\\Patches\\a.vme", 10},
    {101, "Work\\Patches\\b.vme", 10},
    {102, "Bin\\dsp.dll", 5},
    {104, "notes.txt", 5},
    {105, "Bin\\fx.dll", 5},
    {200, "Modules\\Std\\osc.vmm", 4200},
    {200, "Modules\\Std\\flt.vmm", 10},
    {1000, "_vmunins.exe", 4300},
    {1001, "Velk Modular Home Page.url", 30},
    {1002, "Velk Modular License.txt", 40},
};
const int kProgressCalls = 3;

// Release 2 of the product has other bytes and another time in every file.
std::string contentFor(const SampleFile& file, int release = 1) {
  std::string content;
  for (size_t i = 0; i < file.size; ++i)
    content.push_back(static_cast<char>(file.name[i % file.name.size()] + i % 5 + 7 * (release - 1)));
  return content;
}

std::vector<uint8_t> entryOf(int id, const std::vector<std::string>& folders, int release = 1) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const SampleFile& file : kFiles)
    if (file.entry == id) files.emplace_back(file.name, contentFor(file, release));
  return makeEntry(folders, files, 126253227060000000ull + static_cast<uint64_t>(release - 1) * 864000000000ull);
}

void installRelease(int release) {
  installEntry(100, entryOf(100, kFolders100, release));
  installEntry(101, entryOf(101, kFolders101, release));
  installEntry(102, entryOf(102, {"Bin"}, release));
  installEntry(103, entryOf(103, {"Data"}, release));
  installEntry(104, entryOf(104, {}, release));
  installEntry(105, entryOf(105, {}, release));
  installEntry(200, entryOf(200, kFolders200, release));
  installEntry(1000, entryOf(1000, {}, release));
  installEntry(1001, entryOf(1001, {}, release));
  installEntry(1002, entryOf(1002, {}, release));
}

class RollBackTest : public InstallingTest {
 protected:
  void SetUp() override {
    InstallingTest::SetUp();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    installRelease(1);
    select({1, 1, 0, 0, 0, 0, 1});
    // What the user had before: a file of their own in the target folder
    // and files elsewhere.
    ASSERT_TRUE(createDirectoryPath(kTarget));
    ASSERT_TRUE(sim::writeFile(std::string(kTarget) + "\\mine.txt", "the user's notes"));
    ASSERT_TRUE(CreateDirectoryA("C:\\Other", nullptr));
    ASSERT_TRUE(sim::writeFile("C:\\Other\\keep.txt", "keep"));
  }

  void TearDown() override {
    CoUninitialize();
    InstallingTest::TearDown();
  }

  static void select(std::vector<int32_t> flags) {
    for (int32_t c = 0; c < kComponentCount; ++c) installOptions.componentSelected[c] = flags[c];
  }

  // Runs the installation stopped as arranged and checks that it stopped
  // with `message` (empty: none) and left the disk as it found it.
  void expectStoppedWithoutATrace(const std::string& what, const std::string& message) {
    DiskImage before = imageOf(root());
    size_t boxes = messages().size();
    cancelRequested = 0;
    EXPECT_EQ(runInstallation(), kInstallationStopped) << what;
    std::vector<std::string> shown = messages();
    shown.erase(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(boxes));
    EXPECT_EQ(shown, message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message}) << what;
    std::string changes = differences(before, imageOf(root()));
    EXPECT_TRUE(changes.empty()) << what << ":\n" << changes;
    EXPECT_TRUE(recordsOf(uninstallList).empty()) << what;
  }
};

}  // namespace

TEST_F(RollBackTest, ACancelAtAnyProgressCallLeavesNothingBehind) {
  // A complete installation elsewhere counts the progress calls.
  sim::addDrive('D');
  setTargetFolder("D:\\Count");
  int polls = sim::emptyPolls();
  ASSERT_EQ(runInstallation(), kInstallationDone);
  ASSERT_EQ(sim::emptyPolls() - polls, kProgressCalls);
  uninstallList.clear();
  setTargetFolder(kTarget);

  for (int call = 1; call <= kProgressCalls; ++call) {
    polls = sim::emptyPolls();
    pressCancelAtPump(call);
    expectStoppedWithoutATrace("cancel at progress call " + std::to_string(call), "");
    ASSERT_EQ(sim::emptyPolls() - polls, call);
  }
}

TEST_F(RollBackTest, AFileInUseAtAnyPointLeavesNothingBehindButThatFile) {
  for (const SampleFile& file : kFiles) {
    std::string path = std::string(kTarget) + "\\" + file.name;
    // The folders the file needs, made here so that they can go again.
    std::vector<std::string> made;
    for (size_t at = file.name.find('\\'); at != std::string::npos; at = file.name.find('\\', at + 1)) {
      std::string level = std::string(kTarget) + "\\" + file.name.substr(0, at);
      if (sim::folderExists(level)) continue;
      ASSERT_TRUE(CreateDirectoryA(level.c_str(), nullptr));
      made.push_back(level);
    }
    ASSERT_TRUE(sim::writeFile(path, "in use"));
    sim::lockFile(path);
    sim::answerNextMessageBox(IDOK);
    expectStoppedWithoutATrace(file.name + " in use", "Failed to write " + path);

    sim::unlockFile(path);
    ASSERT_TRUE(DeleteFileA(path.c_str()));
    for (auto level = made.rbegin(); level != made.rend(); ++level) ASSERT_TRUE(RemoveDirectoryA(level->c_str()));
  }
}

TEST_F(RollBackTest, ADiskThatFillsUpAtAnyFileLeavesNothingBehind) {
  uint64_t before = 0;
  for (const SampleFile& file : kFiles) {
    std::string path = std::string(kTarget) + "\\" + file.name;
    // No room for the file at all, and room for all of it but its last byte.
    for (uint64_t free : {before, before + file.size - 1}) {
      sim::setFreeBytes('C', free);
      sim::answerNextMessageBox(IDOK);
      expectStoppedWithoutATrace(file.name + " with " + std::to_string(free) + " bytes free", "Failed to write " + path);
      EXPECT_EQ(sim::freeBytes('C'), free) << file.name;
    }
    before += file.size;
  }
}

// Installing release 2 over a working release 1 and stopping it anywhere puts
// the folder back as release 1 left it, its data file and every file's bytes
// and time included: nothing of the earlier installation is lost, and no
// backup is left over.
TEST_F(RollBackTest, AReinstallationStoppedAnywhereLeavesTheEarlierInstallationAsItWas) {
  // Release 2 over release 1 elsewhere, complete, counts its progress calls
  // and its writes.
  sim::addDrive('D');
  setTargetFolder("D:\\Count");
  ASSERT_EQ(runInstallation(), kInstallationDone);
  uninstallList.clear();
  installRelease(2);
  int polls = sim::emptyPolls();
  int writes = sim::callCount(sim::Fault::fileWrite);
  ASSERT_EQ(runInstallation(), kInstallationDone);
  ASSERT_EQ(sim::emptyPolls() - polls, kProgressCalls);
  writes = sim::callCount(sim::Fault::fileWrite) - writes;
  EXPECT_EQ(contentOf("D:\\Count\\vm.exe"), contentFor(kFiles[0], 2));
  EXPECT_FALSE(sim::fileExists("D:\\Count\\_vmkept.lst"));
  EXPECT_FALSE(sim::folderExists("D:\\Count\\_vmkept"));
  uninstallList.clear();

  setTargetFolder(kTarget);
  installRelease(1);
  ASSERT_EQ(runInstallation(), kInstallationDone);
  uninstallList.clear();
  installRelease(2);
  for (int call = 1; call <= kProgressCalls; ++call) {
    pressCancelAtPump(call);
    expectStoppedWithoutATrace("cancel at progress call " + std::to_string(call), "");
  }
  // Every write in turn: a file's block, a line of the journal of kept
  // files, the data file.
  ASSERT_GT(writes, 12);
  for (int nth = 1; nth <= writes; ++nth) {
    std::string what = "write " + std::to_string(nth) + " refused";
    DiskImage before = imageOf(root());
    size_t boxes = messages().size();
    cancelRequested = 0;
    sim::failCall(sim::Fault::fileWrite, nth);
    sim::answerNextMessageBox(IDOK);
    EXPECT_EQ(runInstallation(), kInstallationStopped) << what;
    EXPECT_EQ(messages().size(), boxes + 1) << what;
    std::string changes = differences(before, imageOf(root()));
    EXPECT_TRUE(changes.empty()) << what << ":\n" << changes;
    EXPECT_TRUE(recordsOf(uninstallList).empty()) << what;
  }
}

// The power fails at any change to the disk while release 2 goes over
// release 1: the process just ends, and what it wrote without flushing it to
// the disk is lost. The next run, cancelled at once, always finds one whole
// release in the folder: release 1 as it was, or release 2 as a complete run
// leaves it. Before a cut late enough, it finds the journal of the files the
// cut run kept aside, and rolls that run back first.
TEST_F(RollBackTest, APowerFailureAtAnyStepOfAReinstallationLeavesOneWholeRelease) {
  ASSERT_EQ(runInstallation(), kInstallationDone);
  uninstallList.clear();
  const std::string folder = sim::hostPath(kTarget);
  DiskImage disk = imageOf(root());
  DiskImage releaseOne = imageOf(folder);
  installRelease(2);
  int changes = sim::diskChanges();
  ASSERT_EQ(runInstallation(), kInstallationDone);
  changes = sim::diskChanges() - changes;
  uninstallList.clear();
  // Each run writes its data file anew: release 2's is the same but for its time.
  auto withoutDataFileTime = [](DiskImage image) {
    std::string& dataFile = image["/_vmunins.dat"];
    dataFile.erase(std::min(dataFile.size(), dataFile.rfind('@')));
    return image;
  };
  DiskImage releaseTwo = withoutDataFileTime(imageOf(folder));

  for (int change = 1; change <= changes; ++change) {
    restoreImage(root(), disk);
    sim::writeOutDiskCache();
    pid_t child = fork();
    if (child == 0) {
      sim::cutPowerAtDiskChange(change);
      runInstallation();
      _exit(1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the power did not fail at change " << change;
    pressCancelAtPump(1);
    EXPECT_EQ(runInstallation(), kInstallationStopped) << change;
    cancelRequested = 0;
    uninstallList.clear();
    DiskImage found = imageOf(folder);
    if (withoutDataFileTime(found) != releaseTwo) {
      std::string changed = differences(releaseOne, found);
      EXPECT_TRUE(changed.empty()) << "neither release after a cut at change " << change << ":\n" << changed;
    }
  }
}

// Another program holds the journal as release 2 is saved. One that shares
// writing (a scanner) lets it be emptied: release 2 stands, and the next run
// puts nothing back over it. One that shares nothing would leave a journal
// that puts release 1 back later: release 2 is rolled back now instead, and
// the user told.
TEST_F(RollBackTest, AJournalHeldAtTheSaveNeverPutsTheEarlierReleaseBackLater) {
  const std::string journal = std::string(kTarget) + "\\_vmkept.lst";
  for (bool sharesWriting : {true, false}) {
    SCOPED_TRACE(sharesWriting ? "held sharing writing" : "held sharing nothing");
    installRelease(1);
    ASSERT_EQ(runInstallation(), kInstallationDone);
    uninstallList.clear();
    installRelease(2);
    HANDLE scanner = INVALID_HANDLE_VALUE;
    // As the new data file is written, after the journal's last line.
    sim::beforeNextOpen(std::string(kTarget) + "\\_vmunins.dat", [&] {
      if (!sharesWriting) return sim::lockFile(journal);
      scanner = CreateFileA(journal.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    size_t boxes = messages().size();
    if (!sharesWriting) sim::answerNextMessageBox(IDOK);
    EXPECT_EQ(runInstallation(), sharesWriting ? kInstallationDone : kInstallationStopped);
    std::vector<std::string> told = messages();
    told.erase(told.begin(), told.begin() + static_cast<long>(boxes));
    EXPECT_EQ(told, sharesWriting ? std::vector<std::string>{}
                                  : std::vector<std::string>{"Failed to create uninstall info. Aborting setup"});
    if (scanner != INVALID_HANDLE_VALUE) CloseHandle(scanner);
    sim::unlockFile(journal);
    // The next run, cancelled at once, finishes any roll-back still to be made.
    uninstallList.clear();
    pressCancelAtPump(1);
    EXPECT_EQ(runInstallation(), kInstallationStopped);
    cancelRequested = 0;
    uninstallList.clear();
    EXPECT_EQ(contentOf(std::string(kTarget) + "\\vm.exe"), contentFor(kFiles[0], sharesWriting ? 2 : 1));
    EXPECT_FALSE(sim::fileExists(journal));
    EXPECT_FALSE(sim::folderExists(std::string(kTarget) + "\\_vmkept"));
  }
}

// A junction or link planted below the target folder, where the payload has
// a folder or a file, leads elsewhere: nothing is written through it, even
// where it leads to nothing yet, the file that would have been is reported,
// and the roll-back leaves the link and what lies behind it alone.
TEST_F(RollBackTest, NothingIsWrittenThroughALinkPlantedInTheTargetFolder) {
  struct Case {
    const char* planted;
    const char* leadsTo;
    const char* reported;
  };
  const Case cases[] = {
      {"Modules", "C:\\Elsewhere", "Modules\\Std\\osc.vmm"},
      {"vm.exe", "C:\\Elsewhere\\vm.exe", "vm.exe"},
      {"Bin\\fx.dll", "C:\\Elsewhere\\fx.dll", "Bin\\fx.dll"},
  };
  ASSERT_TRUE(CreateDirectoryA("C:\\Elsewhere", nullptr));
  for (const Case& c : cases) {
    std::string planted = std::string(kTarget) + "\\" + c.planted;
    ASSERT_TRUE(createDirectoryPath(planted.substr(0, planted.rfind('\\')).c_str()));
    ASSERT_TRUE(sim::makeReparsePoint(planted, c.leadsTo)) << c.planted;
    sim::answerNextMessageBox(IDOK);
    expectStoppedWithoutATrace(std::string("a link at ") + c.planted,
                               "Failed to write " + std::string(kTarget) + "\\" + c.reported);
    EXPECT_TRUE(std::filesystem::is_empty(sim::hostPath("C:\\Elsewhere"))) << c.planted;
    ASSERT_EQ(unlink(sim::hostPath(planted).c_str()), 0);
  }
}

// The run holds the target folder: while it writes, no other program can
// move the folder or a folder above it away to put a junction in its place;
// once it is over, they are the user's again. A path that leads through a
// junction already is refused before anything is made.
TEST_F(RollBackTest, NoFolderOnTheTargetsPathCanBeSwappedForAJunction) {
  const std::string target = kTarget;
  std::vector<bool> moved;
  sim::beforeNextOpen(target + "\\vm.exe", [&] {
    moved.push_back(MoveFileA(kTarget, "C:\\Swapped") != FALSE);
    moved.push_back(MoveFileA("C:\\Program Files", "C:\\Swapped") != FALSE);
  });
  EXPECT_EQ(runInstallation(), kInstallationDone);
  EXPECT_EQ(moved, (std::vector<bool>{false, false}));
  EXPECT_TRUE(MoveFileA("C:\\Program Files", "C:\\Swapped"));
  uninstallList.clear();

  ASSERT_TRUE(CreateDirectoryA("C:\\Real", nullptr));
  ASSERT_TRUE(sim::makeReparsePoint("C:\\Program Files", "C:\\Real"));
  sim::answerNextMessageBox(IDOK);
  expectStoppedWithoutATrace("a junction above the target", "Failed to create " + target);
}

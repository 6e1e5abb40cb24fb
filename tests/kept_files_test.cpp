// The journal of files kept aside during a run, as a later run or the
// uninstaller finds it: what goes back where, what is never acted on, and
// what stays for another try.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/paths.h"
#include "extract/kept_files.h"
#include "install_fixture.h"

namespace {

const char kFolder[] = "C:\\Target";

std::string in(const std::string& name) { return std::string(kFolder) + "\\" + name; }

class KeptFilesTest : public InstallStepTest {
 protected:
  void SetUp() override {
    InstallStepTest::SetUp();
    ASSERT_TRUE(CreateDirectoryA(kFolder, nullptr));
    ASSERT_TRUE(CreateDirectoryA(in("Sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA("C:\\Elsewhere", nullptr));
  }

  static std::string contentOf(const std::string& path) {
    std::ifstream in(sim::hostPath(path), std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) : "<none>";
  }
};

}  // namespace

TEST_F(KeptFilesTest, TheJournalPutsEveryBackupBackNewestFirstAndSweepsOnlyItsOwnFolder) {
  ASSERT_TRUE(CreateDirectoryA(in("_vmkept").c_str(), nullptr));
  // A file kept twice in one run: the older backup is the one that stays.
  ASSERT_TRUE(sim::writeFile(in("_vmkept\\0000.bak"), "release 1"));
  ASSERT_TRUE(sim::writeFile(in("_vmkept\\0001.bak"), "written earlier in the run"));
  ASSERT_TRUE(sim::writeFile(in("Sub\\a.txt"), "written last"));
  ASSERT_TRUE(sim::writeFile(in("_vmkept\\0002.bak"), "left over"));
  // The user's own files, whatever their names.
  ASSERT_TRUE(sim::writeFile(in("_vmb0000.bak"), "the user's"));
  ASSERT_TRUE(sim::writeFile(in("0003.bak"), "the user's too"));
  ASSERT_TRUE(sim::writeFile(in("_vmkept.lst"), "0000.bak|Sub\\a.txt\r\n"
                                                "0001.bak|Sub\\a.txt\r\n"
                                                "_vmb0003.bak|x\r\n"
                                                "0009.bak|never moved\r\n"
                                                "00"));
  restoreKeptFiles(kFolder);
  EXPECT_EQ(contentOf(in("Sub\\a.txt")), "release 1");
  EXPECT_FALSE(sim::fileExists(in("_vmkept.lst")));
  EXPECT_FALSE(sim::folderExists(in("_vmkept")));
  EXPECT_EQ(contentOf(in("_vmb0000.bak")), "the user's");
  EXPECT_EQ(contentOf(in("0003.bak")), "the user's too");
}

// A backup that cannot go back keeps the journal and every backup, for a
// later run to try again: its original is in use, lies outside the folder,
// or is reached through a junction planted since.
TEST_F(KeptFilesTest, ABackupThatCannotGoBackKeepsTheJournalAndEveryBackup) {
  ASSERT_TRUE(sim::writeFile("C:\\Elsewhere\\b.txt", "not ours"));
  ASSERT_TRUE(sim::makeReparsePoint(in("Link"), "C:\\Elsewhere"));
  ASSERT_TRUE(CreateDirectoryA(in("_vmkept").c_str(), nullptr));
  ASSERT_TRUE(sim::writeFile(in("_vmkept\\0000.bak"), "release 1"));
  ASSERT_TRUE(sim::writeFile(in("a.txt"), "release 2"));
  sim::lockFile(in("a.txt"));
  for (const char* original : {"a.txt", "..\\Elsewhere\\b.txt", "C:\\Elsewhere\\b.txt", "Link\\b.txt"}) {
    SCOPED_TRACE(original);
    ASSERT_TRUE(sim::writeFile(in("_vmkept.lst"), std::string("0000.bak|") + original + "\r\n"));
    restoreKeptFiles(kFolder);
    EXPECT_TRUE(sim::fileExists(in("_vmkept.lst")));
    EXPECT_EQ(contentOf(in("_vmkept\\0000.bak")), "release 1");
    EXPECT_EQ(contentOf("C:\\Elsewhere\\b.txt"), "not ours");
  }
  // Once the obstacle is gone, the next try puts it back.
  ASSERT_TRUE(sim::writeFile(in("_vmkept.lst"), "0000.bak|a.txt\r\n"));
  sim::unlockFile(in("a.txt"));
  restoreKeptFiles(kFolder);
  EXPECT_EQ(contentOf(in("a.txt")), "release 1");
  EXPECT_FALSE(sim::fileExists(in("_vmkept.lst")));
  EXPECT_FALSE(sim::folderExists(in("_vmkept")));
}

// The journal names the originals below the folder: it still finds them once
// the folder was renamed, or reached by another drive letter.
TEST_F(KeptFilesTest, AJournalStillPutsItsBackupsBackAfterTheFolderWasRenamed) {
  snprintf(installOptions.targetFolder, sizeof installOptions.targetFolder, "%s", kFolder);
  ASSERT_TRUE(sim::writeFile(in("Sub\\a.txt"), "release 1"));
  ASSERT_TRUE(keepAside(in("Sub\\a.txt").c_str()));
  ASSERT_TRUE(sim::writeFile(in("Sub\\a.txt"), "release 2, cut short"));
  ASSERT_TRUE(MoveFileA(kFolder, "C:\\Renamed"));
  restoreKeptFiles("C:\\Renamed");
  EXPECT_EQ(contentOf("C:\\Renamed\\Sub\\a.txt"), "release 1");
  EXPECT_FALSE(sim::fileExists("C:\\Renamed\\_vmkept.lst"));
  EXPECT_FALSE(sim::folderExists("C:\\Renamed\\_vmkept"));
}

TEST_F(KeptFilesTest, DiscardingDeletesTheJournalBeforeTheBackups) {
  snprintf(installOptions.targetFolder, sizeof installOptions.targetFolder, "%s", kFolder);
  ASSERT_TRUE(sim::writeFile(in("a.txt"), "release 1"));
  ASSERT_TRUE(sim::writeFile(in("_vmb0000.bak"), "the user's"));
  ASSERT_TRUE(keepAside(in("a.txt").c_str()));
  EXPECT_EQ(contentOf(in("_vmkept\\0000.bak")), "release 1");
  EXPECT_FALSE(sim::fileExists(in("a.txt")));
  ASSERT_TRUE(sim::writeFile(in("a.txt"), "release 2"));
  // A journal that can be neither deleted nor written keeps the backups with
  // it, and says so.
  sim::lockFile(in("_vmkept.lst"));
  EXPECT_FALSE(discardKeptFiles(kFolder));
  EXPECT_TRUE(sim::fileExists(in("_vmkept\\0000.bak")));
  sim::unlockFile(in("_vmkept.lst"));
  EXPECT_TRUE(discardKeptFiles(kFolder));
  EXPECT_FALSE(sim::fileExists(in("_vmkept.lst")));
  EXPECT_FALSE(sim::folderExists(in("_vmkept")));
  EXPECT_EQ(contentOf(in("a.txt")), "release 2");
  EXPECT_EQ(contentOf(in("_vmb0000.bak")), "the user's");
}

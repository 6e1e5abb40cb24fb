// The journal of files kept aside during a run, as a later run or the
// uninstaller finds it: what goes back where, what is never acted on, and
// what stays for another try.
#include <fstream>
#include <iterator>
#include <string>

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

TEST_F(KeptFilesTest, TheJournalPutsEveryBackupBackNewestFirstAndOnlyInsideItsFolder) {
  // A file kept twice in one run: the older backup is the one that stays.
  ASSERT_TRUE(sim::writeFile(in("_vmb0000.bak"), "release 1"));
  ASSERT_TRUE(sim::writeFile(in("_vmb0001.bak"), "written earlier in the run"));
  ASSERT_TRUE(sim::writeFile(in("Sub\\a.txt"), "written last"));
  ASSERT_TRUE(sim::writeFile(in("_vmb0002.bak"), "would go elsewhere"));
  ASSERT_TRUE(sim::writeFile("C:\\Elsewhere\\b.txt", "not ours"));
  ASSERT_TRUE(sim::writeFile(in("_vmbXYZW.bak"), "someone else's name"));
  ASSERT_TRUE(sim::writeFile(in("_vmkept.lst"), "_vmb0000.bak|" + in("Sub\\a.txt") + "\r\n" +
                                                    "_vmb0001.bak|" + in("Sub\\a.txt") + "\r\n" +
                                                    "_vmb0002.bak|C:\\Elsewhere\\b.txt\r\n" +
                                                    "..\\Elsewhere\\b.txt|" + in("x") + "\r\n" +
                                                    "_vmb0009.bak|" + in("never moved") + "\r\n" + "_vmb00"));
  restoreKeptFiles(kFolder);
  EXPECT_EQ(contentOf(in("Sub\\a.txt")), "release 1");
  EXPECT_EQ(contentOf("C:\\Elsewhere\\b.txt"), "not ours");
  EXPECT_FALSE(sim::fileExists(in("_vmkept.lst")));
  // Backup names no journal line put back are leftovers; other names are not ours.
  EXPECT_FALSE(sim::fileExists(in("_vmb0002.bak")));
  EXPECT_TRUE(sim::fileExists(in("_vmbXYZW.bak")));
}

TEST_F(KeptFilesTest, ABackupThatCannotGoBackKeepsTheJournalForTheNextTry) {
  ASSERT_TRUE(sim::writeFile(in("_vmb0000.bak"), "release 1"));
  ASSERT_TRUE(sim::writeFile(in("a.txt"), "release 2, in use"));
  ASSERT_TRUE(sim::writeFile(in("_vmkept.lst"), "_vmb0000.bak|" + in("a.txt") + "\r\n"));
  sim::lockFile(in("a.txt"));
  restoreKeptFiles(kFolder);
  EXPECT_TRUE(sim::fileExists(in("_vmkept.lst")));
  EXPECT_TRUE(sim::fileExists(in("_vmb0000.bak")));
  sim::unlockFile(in("a.txt"));
  restoreKeptFiles(kFolder);
  EXPECT_EQ(contentOf(in("a.txt")), "release 1");
  EXPECT_FALSE(sim::fileExists(in("_vmkept.lst")));
}

TEST_F(KeptFilesTest, DiscardingDeletesTheJournalBeforeTheBackups) {
  snprintf(installOptions.targetFolder, sizeof installOptions.targetFolder, "%s", kFolder);
  ASSERT_TRUE(sim::writeFile(in("a.txt"), "release 1"));
  ASSERT_TRUE(keepAside(in("a.txt").c_str()));
  EXPECT_EQ(contentOf(in("_vmb0000.bak")), "release 1");
  EXPECT_FALSE(sim::fileExists(in("a.txt")));
  ASSERT_TRUE(sim::writeFile(in("a.txt"), "release 2"));
  // A journal that can be neither deleted nor written keeps the backups with
  // it, and says so.
  sim::lockFile(in("_vmkept.lst"));
  EXPECT_FALSE(discardKeptFiles(kFolder));
  EXPECT_TRUE(sim::fileExists(in("_vmb0000.bak")));
  sim::unlockFile(in("_vmkept.lst"));
  EXPECT_TRUE(discardKeptFiles(kFolder));
  EXPECT_FALSE(sim::fileExists(in("_vmkept.lst")));
  EXPECT_FALSE(sim::fileExists(in("_vmb0000.bak")));
  EXPECT_EQ(contentOf(in("a.txt")), "release 2");
}

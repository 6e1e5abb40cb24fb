// Scheduling a replacement for the next start of Windows: the delayed move on
// NT, wininit.ini's "rename" section on 9x, both with short folder names.
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/paths.h"
#include "install/replace_on_restart.h"
#include "install_fixture.h"

namespace {

class ReplaceOnRestartTest : public InstallStepTest {
 protected:
  void SetUp() override {
    InstallStepTest::SetUp();
    ASSERT_TRUE(createDirectoryPath("C:\\Program Files\\Velk Modular"));
    ASSERT_TRUE(createDirectoryPath("C:\\Windows Folder\\System Files"));
  }

  static std::string wininit() {
    std::ifstream in(sim::hostPath(sim::profilePath("wininit.ini")), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }
};

// A "rename" section whose lines take exactly `bytes` bytes (at least 100)
// as the section is read, each line with its zero: lines of 100 bytes, the
// first one longer by what is left over.
std::string renameSectionOf(size_t bytes) {
  std::string file = "[rename]\r\n";
  size_t first = 100 + bytes % 100;
  file += "NUL=" + std::string(first - 5, 'x') + "\r\n";
  for (size_t left = bytes - first; left > 0; left -= 100) file += "NUL=" + std::string(95, 'y') + "\r\n";
  return file;
}

}  // namespace

TEST_F(ReplaceOnRestartTest, OnNTSchedulesADelayedMoveWithShortFolderNames) {
  ASSERT_TRUE(replaceOnRestart("C:\\Program Files\\Velk Modular", "velkpi00.dll", "C:\\Windows Folder\\System Files",
                               "velkpipe.dll"));
  ASSERT_EQ(sim::delayedMoves().size(), 1u);
  EXPECT_EQ(sim::delayedMoves()[0].source, "C:\\PROGRA~1\\VELKMO~1\\velkpi00.dll");
  EXPECT_EQ(sim::delayedMoves()[0].destination, "C:\\WINDOW~1\\SYSTEM~1\\velkpipe.dll");
  EXPECT_EQ(sim::delayedMoves()[0].flags, 5u);
  EXPECT_FALSE(sim::fileExists(sim::profilePath("wininit.ini")));
  EXPECT_EQ(installOptions.restartNeeded, 1);
}

TEST_F(ReplaceOnRestartTest, On9xWritesTheFirstRenameLineWithShortFolderNamesOnBothSides) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  ASSERT_TRUE(replaceOnRestart("C:\\Program Files\\Velk Modular", "Long Driver Name.drv",
                               "C:\\Windows Folder\\System Files", "velkpipe.drv"));
  EXPECT_EQ(sim::profileSection("wininit.ini", "rename"),
            std::vector<std::string>{"C:\\WINDOW~1\\SYSTEM~1\\velkpipe.drv=C:\\PROGRA~1\\VELKMO~1\\Long Driver Name.drv"});
  EXPECT_TRUE(sim::delayedMoves().empty());
  EXPECT_EQ(installOptions.restartNeeded, 1);
}

TEST_F(ReplaceOnRestartTest, On9xEveryEarlierLineStaysInOrderAndTheNewOneComesLast) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  ASSERT_TRUE(sim::writeFile(sim::profilePath("wininit.ini"),
                             "[other]\r\nkeep=me\r\n[rename]\r\nNUL=C:\\WINDOWS\\TEMP.TMP\r\n"
                             "C:\\WINDOWS\\SYSTEM\\velkpipe.drv=C:\\WINDOWS\\SYSTEM\\velkpi05.drv\r\n"
                             "NUL=C:\\WINDOWS\\TEMP2.TMP\r\n"));
  ASSERT_TRUE(replaceOnRestart("C:\\WINDOWS\\SYSTEM", "velkpi00.drv", "C:\\WINDOWS\\SYSTEM", "velkpipe.drv"));
  EXPECT_EQ(sim::profileSection("wininit.ini", "rename"),
            (std::vector<std::string>{"NUL=C:\\WINDOWS\\TEMP.TMP",
                                      "C:\\WINDOWS\\SYSTEM\\velkpipe.drv=C:\\WINDOWS\\SYSTEM\\velkpi05.drv",
                                      "NUL=C:\\WINDOWS\\TEMP2.TMP",
                                      "C:\\WINDOWS\\SYSTEM\\velkpipe.drv=C:\\WINDOWS\\SYSTEM\\velkpi00.drv"}));
  EXPECT_EQ(sim::profileSection("wininit.ini", "other"), std::vector<std::string>{"keep=me"});
  EXPECT_EQ(sim::liveHeapBlocks(), 0);
}

TEST_F(ReplaceOnRestartTest, On9xASectionOfUpTo30000BytesStillTakesTheLine) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  ASSERT_TRUE(sim::writeFile(sim::profilePath("wininit.ini"), renameSectionOf(30000)));
  ASSERT_TRUE(replaceOnRestart("C:\\WINDOWS\\SYSTEM", "velkpi00.drv", "C:\\WINDOWS\\SYSTEM", "velkpipe.drv"));
  std::vector<std::string> lines = sim::profileSection("wininit.ini", "rename");
  ASSERT_EQ(lines.size(), 301u);
  EXPECT_EQ(lines[0].size() + 1, 100u);
  EXPECT_EQ(lines.back(), "C:\\WINDOWS\\SYSTEM\\velkpipe.drv=C:\\WINDOWS\\SYSTEM\\velkpi00.drv");
  EXPECT_EQ(installOptions.restartNeeded, 1);
}

TEST_F(ReplaceOnRestartTest, On9xASectionOverThe30000ByteLimitIsLeftAsItWas) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  ASSERT_TRUE(sim::writeFile(sim::profilePath("wininit.ini"), renameSectionOf(30001)));
  std::string before = wininit();
  EXPECT_FALSE(replaceOnRestart("C:\\WINDOWS\\SYSTEM", "velkpi00.drv", "C:\\WINDOWS\\SYSTEM", "velkpipe.drv"));
  EXPECT_EQ(wininit(), before);
  EXPECT_EQ(installOptions.restartNeeded, 0);
  EXPECT_EQ(sim::liveHeapBlocks(), 0) << "the section buffer is given back on failure too";
}

TEST_F(ReplaceOnRestartTest, On9xAWininitThatCannotBeWrittenIsAFailure) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  ASSERT_TRUE(sim::writeFile(sim::profilePath("wininit.ini"), "[rename]\r\n"));
  sim::lockFile(sim::profilePath("wininit.ini"));
  EXPECT_FALSE(replaceOnRestart("C:\\WINDOWS\\SYSTEM", "velkpi00.drv", "C:\\WINDOWS\\SYSTEM", "velkpipe.drv"));
  EXPECT_EQ(installOptions.restartNeeded, 0);
}

TEST_F(ReplaceOnRestartTest, On9xWithoutMemoryForTheSectionNothingIsScheduled) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  sim::setHeapLimit(31999);
  EXPECT_FALSE(replaceOnRestart("C:\\WINDOWS\\SYSTEM", "velkpi00.drv", "C:\\WINDOWS\\SYSTEM", "velkpipe.drv"));
  EXPECT_FALSE(sim::fileExists(sim::profilePath("wininit.ini")));
  EXPECT_EQ(installOptions.restartNeeded, 0);
}

TEST_F(ReplaceOnRestartTest, OnNTARefusedMoveIsAFailure) {
  sim::setWindowsFamily(sim::WindowsFamily::NT);
  EXPECT_FALSE(replaceOnRestart("C:\\WINDOWS\\SYSTEM32", "a.dll", "C:\\No Such Folder", "b.dll"));
  EXPECT_FALSE(replaceOnRestart("C:\\No Such Folder", "a.dll", "C:\\WINDOWS\\SYSTEM32", "b.dll"));
  EXPECT_TRUE(sim::delayedMoves().empty());
  EXPECT_EQ(installOptions.restartNeeded, 0);
}

TEST_F(ReplaceOnRestartTest, AShortPathTooLongForTheNameSchedulesNothing) {
  // 28 levels of eight letters: already short, 254 characters.
  std::string deep = "C:";
  for (int i = 0; i < 28; ++i) deep += "\\ABCDEFGH";
  ASSERT_TRUE(createDirectoryPath(deep.c_str()));
  EXPECT_FALSE(replaceOnRestart(deep.c_str(), "velkpi00.dll", "C:\\WINDOWS\\SYSTEM32", "velkpipe.dll"));
  EXPECT_FALSE(replaceOnRestart("C:\\WINDOWS\\SYSTEM32", "velkpi00.dll", deep.c_str(), "velkpipe.dll"));
  EXPECT_TRUE(replaceOnRestart(deep.c_str(), "v.dl", "C:\\WINDOWS\\SYSTEM32", "velkpipe.dll"));
  EXPECT_EQ(sim::delayedMoves().size(), 1u);
}

TEST_F(ReplaceOnRestartTest, DeletionOnNTIsADelayedMoveToNothingOfTheLongPath) {
  const char* file = "C:\\Program Files\\Velk Modular\\vm.exe";
  ASSERT_TRUE(sim::writeFile(file, "x"));
  ASSERT_TRUE(deleteOnRestart(file));
  ASSERT_TRUE(deleteOnRestart("C:\\Program Files\\Velk Modular"));
  ASSERT_EQ(sim::delayedMoves().size(), 2u);
  EXPECT_EQ(sim::delayedMoves()[0].source, file);
  EXPECT_EQ(sim::delayedMoves()[0].destination, "");
  EXPECT_EQ(sim::delayedMoves()[0].flags, static_cast<DWORD>(MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(sim::delayedMoves()[1].source, "C:\\Program Files\\Velk Modular");
  EXPECT_EQ(installOptions.restartNeeded, 0) << "the caller keeps its own count";
}

TEST_F(ReplaceOnRestartTest, DeletionOn9xAddsANulLineWithTheWholeShortPathAfterTheOthers) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  ASSERT_TRUE(sim::writeFile(sim::profilePath("wininit.ini"), "[rename]\r\nNUL=C:\\WINDOWS\\TEMP.TMP\r\n"));
  ASSERT_TRUE(sim::writeFile("C:\\Program Files\\Velk Modular\\Velk Modular License.txt", "x"));
  ASSERT_TRUE(deleteOnRestart("C:\\Program Files\\Velk Modular\\Velk Modular License.txt"));
  EXPECT_EQ(sim::profileSection("wininit.ini", "rename"),
            (std::vector<std::string>{"NUL=C:\\WINDOWS\\TEMP.TMP", "NUL=C:\\PROGRA~1\\VELKMO~1\\VELKMO~1.TXT"}));
  EXPECT_FALSE(deleteOnRestart("C:\\Program Files\\Velk Modular\\gone.txt")) << "no short name for what is missing";
  EXPECT_EQ(installOptions.restartNeeded, 0);
}

// A 32-bit program on 64-bit Windows: its system folder is redirected to
// SysWOW64, but the moves are carried out at the next start by a 64-bit
// process that sees no redirection. Whatever it schedules in the system
// folder must name SysWOW64, and a move onto the driver recorded under
// either name must be found again.
TEST_F(ReplaceOnRestartTest, UnderWow64MovesInTheSystemFolderNameItsRealFolderAndAreFoundUnderEitherName) {
  sim::setWow64(true);
  const std::string system = sim::systemFolder();
  const std::string real = sim::wow64SystemFolder();
  ASSERT_TRUE(createDirectoryPath(system.c_str()));
  ASSERT_TRUE(createDirectoryPath(real.c_str()));
  char shortReal[kPathBufferSize];
  ASSERT_NE(GetShortPathNameA(real.c_str(), shortReal, sizeof shortReal), 0u);
  ASSERT_TRUE(sim::writeFile(real + "\\velkpipe.dll", "x"));

  ASSERT_TRUE(replaceOnRestart(system.c_str(), "velkpi00.dll", system.c_str(), "velkpipe.dll"));
  ASSERT_TRUE(deleteOnRestart((system + "\\velkpipe.dll").c_str()));
  ASSERT_TRUE(replaceOnRestart("C:\\Program Files\\Velk Modular", "vm.exe", "C:\\Program Files\\Velk Modular",
                               "vm2.exe"));
  ASSERT_EQ(sim::delayedMoves().size(), 3u);
  EXPECT_EQ(sim::delayedMoves()[0].source, std::string(shortReal) + "\\velkpi00.dll");
  EXPECT_EQ(sim::delayedMoves()[0].destination, std::string(shortReal) + "\\velkpipe.dll");
  EXPECT_EQ(sim::delayedMoves()[1].source, real + "\\velkpipe.dll");
  EXPECT_EQ(sim::delayedMoves()[2].source, "C:\\PROGRA~1\\VELKMO~1\\vm.exe") << "only the system folder is redirected";

  const std::string recordedUnder[] = {system, real, shortReal};
  for (const std::string& folder : recordedUnder) {
    SCOPED_TRACE(folder);
    ASSERT_TRUE(MoveFileExA((folder + "\\velkpi01.dll").c_str(), (folder + "\\velkpipe.dll").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
    char source[kPathBufferSize] = "";
    EXPECT_TRUE(cancelReplacementOnRestart(system.c_str(), "velkpipe.dll",
                                           [](const char* path) { return strstr(path, "velkpi01") != nullptr; }, source));
    EXPECT_EQ(std::string(source), folder + "\\velkpi01.dll");
  }
}

// The sim's copies and moves, on which the pipe driver's placement relies.
#include <string>

#include "sim_fixture.h"

using SimFileMovesTest = SimTest;

TEST_F(SimFileMovesTest, CopyingRefusesAnExistingFileWhenAskedAndAFileHeldOpen) {
  ASSERT_TRUE(sim::writeFile("C:\\a.txt", "new"));
  ASSERT_TRUE(sim::writeFile("C:\\b.txt", "old"));
  EXPECT_FALSE(CopyFileA("C:\\a.txt", "C:\\b.txt", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  sim::lockFile("C:\\b.txt");
  EXPECT_FALSE(CopyFileA("C:\\a.txt", "C:\\b.txt", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  sim::unlockFile("C:\\b.txt");
  EXPECT_TRUE(CopyFileA("C:\\a.txt", "C:\\B.TXT", FALSE));
  EXPECT_TRUE(sim::fileExists("C:\\b.txt"));

  EXPECT_FALSE(CopyFileA("C:\\missing.txt", "C:\\c.txt", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CopyFileA("C:\\a.txt", "C:\\No Folder\\c.txt", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(SimFileMovesTest, CopyingUsesUpFreeSpaceAndFailsOnAFullDrive) {
  ASSERT_TRUE(sim::writeFile("C:\\a.txt", "12345"));
  sim::setFreeBytes('C', 7);
  EXPECT_TRUE(CopyFileA("C:\\a.txt", "C:\\b.txt", TRUE));
  EXPECT_EQ(sim::freeBytes('C'), 2u);
  EXPECT_FALSE(CopyFileA("C:\\a.txt", "C:\\c.txt", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_FALSE(sim::fileExists("C:\\c.txt"));
}

TEST_F(SimFileMovesTest, DelayedMovesAreOnlyNotedAndOnly9xLacksMoveFileEx) {
  ASSERT_TRUE(sim::writeFile("C:\\new.dll", "new"));
  ASSERT_TRUE(sim::writeFile("C:\\old.dll", "old"));
  EXPECT_TRUE(MoveFileExA("C:\\new.dll", "C:\\old.dll", MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(sim::fileExists("C:\\new.dll"));
  ASSERT_EQ(sim::delayedMoves().size(), 1u);
  EXPECT_EQ(sim::delayedMoves()[0].destination, "C:\\old.dll");

  EXPECT_FALSE(MoveFileExA("C:\\new.dll", "C:\\old.dll", 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(MoveFileExA("C:\\new.dll", "C:\\old.dll", MOVEFILE_REPLACE_EXISTING));
  EXPECT_FALSE(sim::fileExists("C:\\new.dll"));

  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  EXPECT_FALSE(MoveFileExA("C:\\old.dll", "C:\\new.dll", MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  EXPECT_EQ(sim::delayedMoves().size(), 1u);
}

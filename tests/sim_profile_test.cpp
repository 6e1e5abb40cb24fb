// The sim's profile files, which must read and rewrite system.ini and
// wininit.ini as Windows does.
#include <string>
#include <vector>

#include "sim_fixture.h"

using SimProfileTest = SimTest;

namespace {

std::vector<std::string> entriesOf(const char* buffer) {
  std::vector<std::string> entries;
  for (const char* p = buffer; *p != '\0'; p += strlen(p) + 1) entries.push_back(p);
  return entries;
}

}  // namespace

TEST_F(SimProfileTest, ASectionIsReadWithoutCommentsBlankLinesOrSpacesAroundTheEquals) {
  ASSERT_TRUE(sim::writeFile("C:\\WINDOWS\\test.ini",
                             "top=1\r\n[Drivers]\r\n; a comment\r\n\r\n  wave = mmsystem.dll \r\nbare line\r\n"
                             "wave=second\r\n[other]\r\nx=y\r\n"));
  char buffer[100];
  DWORD used = GetPrivateProfileSectionA("drivers", buffer, sizeof buffer, "test.ini");
  EXPECT_EQ(used, 40u);
  EXPECT_EQ(entriesOf(buffer), (std::vector<std::string>{"wave=mmsystem.dll", "bare line", "wave=second"}));

  EXPECT_EQ(GetPrivateProfileSectionA("missing", buffer, sizeof buffer, "test.ini"), 0u);
  EXPECT_EQ(GetPrivateProfileSectionA("drivers", buffer, sizeof buffer, "missing.ini"), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '\0');
}

TEST_F(SimProfileTest, ASectionTooBigForTheBufferIsCutWithTwoZeros) {
  ASSERT_TRUE(sim::writeFile("C:\\WINDOWS\\test.ini", "[s]\r\nabc=def\r\nghi=jkl\r\n"));
  char buffer[12];
  memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(GetPrivateProfileSectionA("s", buffer, sizeof buffer, "test.ini"), 10u);
  EXPECT_EQ(std::string(buffer, 12), std::string("abc=def\0gh\0\0", 12));
}

TEST_F(SimProfileTest, WritingAKeyReplacesItIgnoringCaseAndKeepsTheRest) {
  ASSERT_TRUE(sim::writeFile("C:\\WINDOWS\\system.ini", "[boot]\r\nshell=Explorer.exe\r\n[drivers]\r\nMIDI=a.drv\r\n"));
  EXPECT_TRUE(WritePrivateProfileStringA("Drivers", "midi", "b.drv", "system.ini"));
  EXPECT_TRUE(WritePrivateProfileStringA("drivers", "wave", "  c.drv", "system.ini"));
  EXPECT_TRUE(WritePrivateProfileStringA("new", "k", "v", "C:\\WINDOWS\\SYSTEM.INI"));
  EXPECT_EQ(sim::profileSection("system.ini", "drivers"), (std::vector<std::string>{"MIDI=b.drv", "wave=c.drv"}));
  EXPECT_EQ(sim::profileSection("system.ini", "boot"), std::vector<std::string>{"shell=Explorer.exe"});
  EXPECT_EQ(sim::profileSection("system.ini", "new"), std::vector<std::string>{"k=v"});
}

TEST_F(SimProfileTest, WritingASectionReplacesItsLinesKeepingRepeatedKeys) {
  ASSERT_TRUE(sim::writeFile("C:\\WINDOWS\\wininit.ini", "[rename]\r\nold=line\r\n[after]\r\nk=v\r\n"));
  const char lines[] = "NUL=a\0NUL=b\0no equals\0x=y\0";
  EXPECT_TRUE(WritePrivateProfileSectionA("rename", lines, "wininit.ini"));
  EXPECT_EQ(sim::profileSection("wininit.ini", "rename"), (std::vector<std::string>{"NUL=a", "NUL=b", "x=y"}));
  EXPECT_EQ(sim::profileSection("wininit.ini", "after"), std::vector<std::string>{"k=v"});

  EXPECT_TRUE(WritePrivateProfileSectionA("rename", "a=b\0", "fresh.ini"));
  EXPECT_EQ(sim::profileSection("fresh.ini", "rename"), std::vector<std::string>{"a=b"});
}

TEST_F(SimProfileTest, AFileHeldByAnotherProgramCannotBeWritten) {
  ASSERT_TRUE(sim::writeFile("C:\\WINDOWS\\system.ini", "[drivers]\r\n"));
  sim::lockFile("C:\\WINDOWS\\system.ini");
  EXPECT_FALSE(WritePrivateProfileStringA("drivers", "k", "v", "system.ini"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(WritePrivateProfileStringA("drivers", "k", "v", "Q:\\no drive.ini"));
}

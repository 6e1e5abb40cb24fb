// The sim's look-up of files by name and its short (8.3) names, which the
// scheduled replacements are written with.
#include <string>

#include "base/paths.h"
#include "sim_fixture.h"

using SimFileNamesTest = SimTest;

namespace {

std::string shortPath(const char* path, DWORD* error = nullptr) {
  char buffer[MAX_PATH];
  SetLastError(0);
  DWORD length = GetShortPathNameA(path, buffer, MAX_PATH);
  if (error != nullptr) *error = GetLastError();
  return length == 0 ? "" : std::string(buffer, length);
}

}  // namespace

TEST_F(SimFileNamesTest, LongNamesGetNumberedAliasesThatStayOnceGiven) {
  ASSERT_TRUE(createDirectoryPath("C:\\Program Files (x86)"));
  ASSERT_TRUE(createDirectoryPath("C:\\Program Files\\Velk Modular.Setup.files"));
  EXPECT_EQ(shortPath("C:\\Program Files"), "C:\\PROGRA~1");
  EXPECT_EQ(shortPath("C:\\Program Files (x86)"), "C:\\PROGRA~2");
  EXPECT_EQ(shortPath("C:\\Program Files\\Velk Modular.Setup.files"), "C:\\PROGRA~1\\VELKMO~1.FIL");
  // A name made later takes the next number, even when it sorts first.
  ASSERT_TRUE(createDirectoryPath("C:\\Program Data"));
  EXPECT_EQ(shortPath("c:/program data"), "c:/PROGRA~3");
  EXPECT_EQ(shortPath("C:\\Program Files"), "C:\\PROGRA~1");
}

TEST_F(SimFileNamesTest, LegalShortNamesAreKeptAsTyped) {
  EXPECT_EQ(shortPath("c:\\windows\\System32\\"), "c:\\windows\\System32\\");
  EXPECT_EQ(shortPath("C:\\"), "C:\\");
}

TEST_F(SimFileNamesTest, MissingPathsAndSmallBuffersAreReported) {
  DWORD error = 0;
  EXPECT_EQ(shortPath("C:\\WINDOWS\\missing.txt", &error), "");
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(shortPath("C:\\Missing Folder\\file.txt", &error), "");
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  char small[8] = "unused";
  EXPECT_EQ(GetShortPathNameA("C:\\WINDOWS\\SYSTEM32", small, sizeof small), 20u) << "the size needed";
  EXPECT_STREQ(small, "unused");
}

TEST_F(SimFileNamesTest, FindFirstFileReportsTheStoredNameItsAliasAndKind) {
  ASSERT_TRUE(sim::writeFile("C:\\WINDOWS\\Velk Pipe Driver.dll", "12345"));
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA("c:\\windows\\velk pipe driver.DLL", &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(found.cFileName, "Velk Pipe Driver.dll");
  EXPECT_STREQ(found.cAlternateFileName, "VELKPI~1.DLL");
  EXPECT_EQ(found.nFileSizeLow, 5u);
  EXPECT_EQ(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(FindClose(search));
  EXPECT_FALSE(FindClose(search)) << "a handle closes once";

  search = FindFirstFileA("C:\\WIN*", &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(found.cFileName, "WINDOWS");
  EXPECT_STREQ(found.cAlternateFileName, "");
  EXPECT_NE(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  FindClose(search);

  EXPECT_EQ(FindFirstFileA("C:\\WINDOWS\\", &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(FindFirstFileA("C:\\Nowhere\\x", &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(sim::openFindHandleCount(), 0);
}

// The path rules: joins within 259 characters, level-by-level folder creation.
#include <cstring>
#include <string>

#include "base/paths.h"
#include "sim_fixture.h"

using JoinPathTest = SimTest;
using CreateDirectoryPathTest = SimTest;

namespace {

std::string joined(const std::string& folder, const char* name, bool* ok = nullptr) {
  char buffer[kPathBufferSize];
  strcpy(buffer, folder.c_str());
  bool result = joinPath(buffer, name);
  if (ok != nullptr) *ok = result;
  return buffer;
}

std::string folderOfLength(size_t length) {
  std::string folder = "C:\\";
  while (folder.size() < length) folder += 'x';
  return folder;
}

}  // namespace

TEST(PathRulesTest, SeparatorsAndDriveRootedPaths) {
  EXPECT_TRUE(isPathSeparator('\\'));
  EXPECT_TRUE(isPathSeparator('/'));
  EXPECT_FALSE(isPathSeparator(':'));
  EXPECT_TRUE(isDriveRootedPath("C:\\"));
  EXPECT_TRUE(isDriveRootedPath("z:/x"));
  EXPECT_FALSE(isDriveRootedPath("\\\\server\\share"));
  EXPECT_FALSE(isDriveRootedPath("A:relative"));
  EXPECT_FALSE(isDriveRootedPath("1:\\x"));
  EXPECT_FALSE(isDriveRootedPath("C:"));
  EXPECT_FALSE(isDriveRootedPath(""));
}

TEST(PathRulesTest, EqualPathsIgnoreTheCaseOfAToZOnly) {
  EXPECT_TRUE(pathsEqualIgnoringCase("C:\\Program Files\\VM.EXE", "c:\\program files\\vm.exe"));
  EXPECT_TRUE(pathsEqualIgnoringCase("", ""));
  EXPECT_FALSE(pathsEqualIgnoringCase("C:\\A", "C:\\AB"));
  EXPECT_FALSE(pathsEqualIgnoringCase("C:\\AB", "C:\\A"));
  EXPECT_FALSE(pathsEqualIgnoringCase("C:\\\xC9", "C:\\\xE9")) << "code-page letters are not folded";
  EXPECT_FALSE(pathsEqualIgnoringCase("C:\\@", "C:\\`")) << "neighbours of A and Z are not letters";
  EXPECT_FALSE(pathsEqualIgnoringCase("C:\\[", "C:\\{"));
}

TEST(PathRulesTest, InsideAFolderMeansBelowItLevelByLevel) {
  EXPECT_TRUE(isPathInsideFolder("C:\\Target\\x", "C:\\Target"));
  EXPECT_TRUE(isPathInsideFolder("C:\\Target\\x", "C:\\Target\\"));
  EXPECT_TRUE(isPathInsideFolder("c:/TARGET//Sub/x", "C:\\Target"));
  EXPECT_TRUE(isPathInsideFolder("C:\\Target\\Sub\\x.", "C:\\Target"));
  EXPECT_TRUE(isPathInsideFolder("C:\\x", "C:\\"));
  EXPECT_TRUE(isPathInsideFolder("C:\\Target\\.hidden", "C:\\Target"));

  EXPECT_FALSE(isPathInsideFolder("C:\\Target2\\x", "C:\\Target"));
  EXPECT_FALSE(isPathInsideFolder("C:\\Targe", "C:\\Target"));
  EXPECT_FALSE(isPathInsideFolder("C:\\Target", "C:\\Target")) << "the folder itself";
  EXPECT_FALSE(isPathInsideFolder("C:\\Target\\", "C:\\Target"));
  EXPECT_FALSE(isPathInsideFolder("C:\\", "C:\\"));
  EXPECT_FALSE(isPathInsideFolder("D:\\Target\\x", "C:\\Target"));
  EXPECT_FALSE(isPathInsideFolder("C:\\\xC9\\x", "C:\\\xE9"));
  EXPECT_FALSE(isPathInsideFolder("C:Target\\x", "C:\\Target")) << "drive-relative";
  EXPECT_FALSE(isPathInsideFolder("\\\\C:\\Target\\x", "C:\\Target"));
  EXPECT_FALSE(isPathInsideFolder("Target\\x", "Target"));
  EXPECT_FALSE(isPathInsideFolder("", "C:\\"));
}

TEST(PathRulesTest, LevelsOfDotsAndSpacesNeverCountAsInside) {
  // Windows resolves them, so they may lead back out of the folder.
  EXPECT_FALSE(isPathInsideFolder("C:\\Target\\..\\Windows\\win.ini", "C:\\Target"));
  EXPECT_FALSE(isPathInsideFolder("C:\\Target\\Sub\\..\\..\\x", "C:\\Target"));
  EXPECT_FALSE(isPathInsideFolder("C:\\Target\\.\\x", "C:\\Target"));
  EXPECT_FALSE(isPathInsideFolder("C:\\Target\\...\\x", "C:\\Target"));
  EXPECT_FALSE(isPathInsideFolder("C:\\Target\\.. \\x", "C:\\Target"));
  EXPECT_FALSE(isPathInsideFolder("C:\\Target/..", "C:\\Target"));
}

TEST(PathRulesTest, TheSameFolderWhateverItsSeparatorsAndCase) {
  EXPECT_TRUE(pathsNameSameFolder("C:\\Program Files\\Velk Modular", "c:\\program files\\VELK MODULAR"));
  EXPECT_TRUE(pathsNameSameFolder("C:\\Program Files\\Velk Modular\\", "C:/Program Files//Velk Modular"));
  EXPECT_TRUE(pathsNameSameFolder("D:\\", "d:/"));
  EXPECT_FALSE(pathsNameSameFolder("C:\\Program Files\\Velk Modular", "C:\\Program Files\\Velk Modular2"));
  EXPECT_FALSE(pathsNameSameFolder("C:\\Program Files\\Velk Modular\\Work", "C:\\Program Files\\Velk Modular"));
  EXPECT_FALSE(pathsNameSameFolder("C:\\Program Files", "C:\\Program Files\\Velk Modular"));
  EXPECT_FALSE(pathsNameSameFolder("C:\\Target\\..\\Target", "C:\\Target\\..\\Target"));
  EXPECT_FALSE(pathsNameSameFolder("Target", "Target"));
}

TEST(PathRulesTest, TheFolderOfAPathKeepsOnlyTheSeparatorOfADrivesRoot) {
  char folder[kPathBufferSize];
  copyFolderOfPath("C:\\Program Files\\Velk Modular\\_vmunins.exe", folder);
  EXPECT_STREQ(folder, "C:\\Program Files\\Velk Modular");
  copyFolderOfPath("C:\\Velk Modular\\\\_vmunins.exe", folder);
  EXPECT_STREQ(folder, "C:\\Velk Modular");
  copyFolderOfPath("C:\\_vmunins.exe", folder);
  EXPECT_STREQ(folder, "C:\\");
  copyFolderOfPath("_vmunins.exe", folder);
  EXPECT_STREQ(folder, "");
}

TEST_F(JoinPathTest, InsertsOneBackslashOnlyWhereTheFolderLacksASeparator) {
  EXPECT_EQ(joined("C:\\", "Work"), "C:\\Work");
  EXPECT_EQ(joined("C:\\Program Files", "Work"), "C:\\Program Files\\Work");
  EXPECT_EQ(joined("C:\\Program Files/", "Work"), "C:\\Program Files/Work");
  EXPECT_EQ(joined("", "Work"), "Work");
  EXPECT_EQ(joined("C:\\A", "\\B"), "C:\\A\\\\B") << "a leading separator of the name is kept";
  EXPECT_EQ(joined("C:\\A", "Sub\\file.txt"), "C:\\A\\Sub\\file.txt");
}

TEST_F(JoinPathTest, StaysWithin259Characters) {
  bool ok = true;
  std::string full = folderOfLength(259);
  EXPECT_EQ(joined(full, "", &ok), full);
  EXPECT_FALSE(ok) << "no room for the separator";

  std::string almost = folderOfLength(258);
  EXPECT_EQ(joined(almost, "", &ok), almost + "\\");
  EXPECT_TRUE(ok);
  EXPECT_EQ(joined(almost, "a", &ok), almost) << "a failed join leaves the buffer as it was";
  EXPECT_FALSE(ok);

  std::string withSeparator = folderOfLength(258) + "\\";
  EXPECT_EQ(joined(withSeparator, "", &ok), withSeparator);
  EXPECT_TRUE(ok);
  joined(withSeparator, "b", &ok);
  EXPECT_FALSE(ok);
}

TEST_F(CreateDirectoryPathTest, CreatesEveryMissingLevelAndSkipsRepeatedSeparators) {
  EXPECT_TRUE(createDirectoryPath("C:\\"));
  EXPECT_TRUE(createDirectoryPath("C:\\A\\\\B\\"));
  EXPECT_TRUE(sim::folderExists("C:\\A"));
  EXPECT_TRUE(sim::folderExists("C:\\A\\B"));
  EXPECT_TRUE(createDirectoryPath("C:/A/B/C/D"));
  EXPECT_TRUE(sim::folderExists("C:\\A\\B\\C\\D"));
}

TEST_F(CreateDirectoryPathTest, ExistingLevelsInAnyCaseAreAccepted) {
  ASSERT_TRUE(createDirectoryPath("C:\\Program Files\\Velk"));
  EXPECT_TRUE(createDirectoryPath("c:\\PROGRAM FILES\\velk\\Work"));
  EXPECT_TRUE(sim::folderExists("C:\\Program Files\\Velk\\Work"));
}

TEST_F(CreateDirectoryPathTest, RefusesNetworkAndDriveRelativePathsAndMissingDrives) {
  EXPECT_FALSE(createDirectoryPath("\\\\server\\share"));
  EXPECT_FALSE(createDirectoryPath("A:relative"));
  EXPECT_FALSE(createDirectoryPath("Q:\\Folder")) << "no such drive";
  EXPECT_FALSE(createDirectoryPath(("C:\\" + std::string(300, 'x')).c_str()));
}

TEST_F(CreateDirectoryPathTest, ALevelThatIsAFileCountsOnlyAsTheLastLevel) {
  ASSERT_TRUE(createDirectoryPath("C:\\Data"));
  ASSERT_TRUE(sim::writeFile("C:\\Data\\taken", "x"));
  EXPECT_TRUE(createDirectoryPath("C:\\Data\\taken"));
  EXPECT_FALSE(createDirectoryPath("C:\\Data\\taken\\below"));
  EXPECT_FALSE(sim::folderExists("C:\\Data\\taken\\below"));
}

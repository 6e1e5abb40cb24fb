// Where the program lets Windows look for libraries: the search narrowed to
// the system folder where the system allows it, and the common controls
// loaded by their full path there, never from beside the program.
#include "setup/system_libraries.h"

#include <cstdio>
#include <string>
#include <vector>

#include "res/resource.h"
#include "sim_fixture.h"

namespace {

class SystemLibrariesTest : public SimTest {};

// The journal entries of one kind of call, without the call's name.
std::vector<std::string> callsOf(const std::string& call) {
  std::vector<std::string> found;
  for (const std::string& entry : sim::libraryCalls())
    if (entry.compare(0, call.size() + 1, call + " ") == 0) found.push_back(entry.substr(call.size() + 1));
  return found;
}

INT_PTR CALLBACK quietProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

}  // namespace

TEST_F(SystemLibrariesTest, TheCommonControlsComeFromTheSystemFolderByTheirFullPath) {
  const struct {
    sim::WindowsFamily family;
    const char* windowsFolder;
    const char* library;
  } cases[] = {
      {sim::WindowsFamily::NT, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM32\\comctl32.dll"},
      {sim::WindowsFamily::Win9x, "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM\\comctl32.dll"},
      {sim::WindowsFamily::NT, "E:\\WINNT", "E:\\WINNT\\SYSTEM32\\comctl32.dll"},
  };
  for (const auto& example : cases) {
    sim::reset(root());
    sim::addDrive('E');
    sim::setWindowsFamily(example.family);
    ASSERT_TRUE(sim::setWindowsFolder(example.windowsFolder));
    // Started from a downloads folder that holds a library of the same name.
    ASSERT_TRUE(sim::setTempFolder("C:\\Downloads"));
    sim::setProgramPath("C:\\Downloads\\setup.exe");
    ASSERT_TRUE(sim::writeFile("C:\\Downloads\\comctl32.dll", "MZ planted"));
    ASSERT_FALSE(sim::commonControlsInitialized());

    loadCommonControls();

    EXPECT_EQ(callsOf("LoadLibraryA"), std::vector<std::string>{example.library});
    // Initialised through the ordinal every version exports, once.
    EXPECT_EQ(callsOf("GetProcAddress"), std::vector<std::string>{"comctl32.dll #17"});
    EXPECT_EQ(sim::libraryCalls().back(), "InitCommonControls");
    EXPECT_TRUE(sim::commonControlsInitialized());
    EXPECT_NE(CreateDialogParamA(nullptr, DLG_INSTALLING, nullptr, quietProc, 0), nullptr)
        << "the Installing page needs the progress bar class";
  }
}

TEST_F(SystemLibrariesTest, WithoutTheCommonControlsTheRunEndsAsAnInternalError) {
  sim::removeSystemLibrary("comctl32.dll");
  EXPECT_EXIT(loadCommonControls(), ::testing::ExitedWithCode(1), "Internal error");
}

// The library's name must fit behind the system folder whole: a shortened
// path would name some other file.
TEST_F(SystemLibrariesTest, TheLibrarysPathIsUsedOnlyWhenItFitsWhole) {
  // "\comctl32.dll" is 13 characters; paths hold 259.
  auto systemFolderOf = [](size_t length) {
    std::string folder = "C:\\" + std::string(120, 'S') + "\\";
    return folder + std::string(length - folder.size(), 'Y');
  };
  ASSERT_TRUE(sim::setSystemFolder(systemFolderOf(246)));
  loadCommonControls();
  EXPECT_EQ(callsOf("LoadLibraryA"), std::vector<std::string>{systemFolderOf(246) + "\\comctl32.dll"});

  auto tooLong = [&] {
    sim::reset(root());
    ASSERT_TRUE(sim::setSystemFolder(systemFolderOf(247)));
    // Tells, while the internal error's box is up, what was loaded by then.
    sim::answerNextMessageBox(IDOK, [] { fprintf(stderr, "loads: %zu\n", callsOf("LoadLibraryA").size()); });
    loadCommonControls();
  };
  EXPECT_EXIT(tooLong(), ::testing::ExitedWithCode(1), "loads: 0");
}

TEST_F(SystemLibrariesTest, TheSearchIsNarrowedAsFarAsTheSystemAllows) {
  const struct {
    const char* system;
    sim::WindowsFamily family;
    bool offersSetDefault;
    bool offersSetDllDirectory;
    DWORD searchFlags;
    bool currentFolderLeaves;
  } cases[] = {
      {"Windows 8 and later", sim::WindowsFamily::NT, true, true, LOAD_LIBRARY_SEARCH_SYSTEM32, false},
      {"XP SP1 to 7 without the update", sim::WindowsFamily::NT, false, true, 0, true},
      {"NT 4 and 2000", sim::WindowsFamily::NT, false, false, 0, false},
      {"Windows 95 to ME", sim::WindowsFamily::Win9x, false, false, 0, false},
  };
  for (const auto& example : cases) {
    sim::reset(root());
    sim::setWindowsFamily(example.family);
    sim::setKernelLibrarySearchCalls(example.offersSetDefault, example.offersSetDllDirectory);

    restrictLibrarySearch();

    EXPECT_EQ(sim::defaultDllDirectories(), example.searchFlags) << example.system;
    std::string folder = "unset";
    EXPECT_EQ(sim::dllDirectory(&folder), example.currentFolderLeaves) << example.system;
    if (example.currentFolderLeaves) {
      EXPECT_EQ(folder, "") << example.system;
    }
    // Asked for, never loaded; and whatever is missing goes unmentioned.
    EXPECT_TRUE(callsOf("LoadLibraryA").empty()) << example.system;
    EXPECT_EQ(sim::loadedLibraryCount(), 0) << example.system;
    EXPECT_TRUE(sim::messageBoxes().empty()) << example.system;
  }
}

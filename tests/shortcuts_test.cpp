// The Start Menu folder and its shortcuts.
#include <string>
#include <vector>

#include "base/paths.h"
#include "install/shortcuts.h"
#include "install_fixture.h"

namespace {

const char kTarget[] = "C:\\Program Files\\Velk Modular";

class StartMenuTest : public InstallStepTest {
 protected:
  void SetUp() override {
    InstallStepTest::SetUp();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
  }

  void TearDown() override {
    EXPECT_EQ(sim::liveShellLinks(), 0) << "a shell link was not released";
    EXPECT_EQ(sim::shellAllocatorReferences(), 0) << "the shell's allocator was not released";
    EXPECT_EQ(sim::liveShellBlocks(), 0) << "an item ID list was not freed";
    CoUninitialize();
    InstallStepTest::TearDown();
  }

  static std::string menuFolder() { return sim::programsFolder() + "\\Velk Modular"; }

  // The target of the shortcut `linkName` in the Start Menu folder, checked
  // to have no other property; empty when there is none.
  static std::string targetOf(const std::string& linkName) {
    sim::Shortcut link;
    if (!sim::readShortcut(menuFolder() + "\\" + linkName, &link)) return "";
    EXPECT_EQ(link.arguments, "");
    EXPECT_EQ(link.workingFolder, "");
    EXPECT_EQ(link.description, "");
    EXPECT_EQ(link.iconPath, "");
    EXPECT_EQ(link.hotkey, 0);
    EXPECT_EQ(link.showCommand, 1);
    return link.target;
  }
};

HWND const kInstallingDialog = reinterpret_cast<HWND>(0x4711);

}  // namespace

TEST_F(StartMenuTest, MakesFiveShortcutsIntoTheTargetFolderInTheUsersPrograms) {
  ASSERT_TRUE(createStartMenuItems(kInstallingDialog));
  EXPECT_EQ(sim::lastShellOwner(), kInstallingDialog);
  EXPECT_EQ(targetOf("Velk Modular.lnk"), std::string(kTarget) + "\\vm.exe");
  EXPECT_EQ(targetOf("Velk Modular Help.lnk"), std::string(kTarget) + "\\vm.hlp");
  EXPECT_EQ(targetOf("Velk Modular Home Page.lnk"), std::string(kTarget) + "\\Velk Modular Home Page.url");
  EXPECT_EQ(targetOf("Velk Modular License.lnk"), std::string(kTarget) + "\\Velk Modular License.txt");
  EXPECT_EQ(targetOf("Uninstall Velk Modular.lnk"), std::string(kTarget) + "\\_vmunins.exe");
}

TEST_F(StartMenuTest, WithoutTheProgramOnlyHomePageLicenseAndUninstallAreMade) {
  installOptions.componentSelected[kComponentProgram] = 0;
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  ASSERT_TRUE(createStartMenuItems(kInstallingDialog));
  EXPECT_EQ(sim::programsFolder(), "C:\\WINDOWS\\Start Menu\\Programs");
  EXPECT_FALSE(sim::fileExists(menuFolder() + "\\Velk Modular.lnk"));
  EXPECT_FALSE(sim::fileExists(menuFolder() + "\\Velk Modular Help.lnk"));
  EXPECT_NE(targetOf("Velk Modular Home Page.lnk"), "");
  EXPECT_NE(targetOf("Velk Modular License.lnk"), "");
  EXPECT_NE(targetOf("Uninstall Velk Modular.lnk"), "");
}

TEST_F(StartMenuTest, TheFirstShortcutThatCannotBeSavedEndsTheStepAndTheEarlierOnesStay) {
  ASSERT_TRUE(createDirectoryPath(menuFolder().c_str()));
  sim::lockFile(menuFolder() + "\\Velk Modular Home Page.lnk");
  EXPECT_FALSE(createStartMenuItems(kInstallingDialog));
  EXPECT_TRUE(sim::fileExists(menuFolder() + "\\Velk Modular.lnk"));
  EXPECT_TRUE(sim::fileExists(menuFolder() + "\\Velk Modular Help.lnk"));
  EXPECT_FALSE(sim::fileExists(menuFolder() + "\\Velk Modular License.lnk"));
  EXPECT_FALSE(sim::fileExists(menuFolder() + "\\Uninstall Velk Modular.lnk"));
}

TEST_F(StartMenuTest, FailsAtTheFirstLinkPathOverTheLimitKeepingTheOnesBefore) {
  // The folder and "\Velk Modular\Velk Modular.lnk" make 257 characters;
  // "Velk Modular Help.lnk" is five longer.
  std::string programs = "C:\\" + std::string(100, 'p') + "\\" + std::string(123, 'q');
  ASSERT_EQ(programs.size(), 227u);
  sim::setProgramsFolder(programs);
  EXPECT_FALSE(createStartMenuItems(kInstallingDialog));
  EXPECT_EQ(targetOf("Velk Modular.lnk"), std::string(kTarget) + "\\vm.exe");
  EXPECT_FALSE(sim::fileExists(menuFolder() + "\\Velk Modular Home Page.lnk"));
  EXPECT_FALSE(sim::fileExists(menuFolder() + "\\Uninstall Velk Modular.lnk"));
}

TEST_F(StartMenuTest, WithoutAProgramsFolderNothingIsMade) {
  sim::setProgramsFolder("");
  EXPECT_FALSE(createStartMenuItems(kInstallingDialog));
  sim::setProgramsFolder("Q:\\No such drive\\Programs");
  EXPECT_FALSE(createStartMenuItems(kInstallingDialog));
}

TEST_F(StartMenuTest, AnExistingMenuFromAnEarlierInstallationIsOverwritten) {
  ASSERT_TRUE(createStartMenuItems(kInstallingDialog));
  setTargetFolder("D:\\Synth");
  ASSERT_TRUE(createStartMenuItems(kInstallingDialog));
  EXPECT_EQ(targetOf("Uninstall Velk Modular.lnk"), "D:\\Synth\\_vmunins.exe");
}

TEST_F(StartMenuTest, WithoutComNoShortcutIsMade) {
  CoUninitialize();
  EXPECT_FALSE(createStartMenuItems(kInstallingDialog));
  EXPECT_FALSE(sim::fileExists(menuFolder() + "\\Velk Modular.lnk"));
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
}

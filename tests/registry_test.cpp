// Registration of the product: uninstall entry, product key and App Paths.
#include <algorithm>
#include <string>
#include <vector>

#include "base/paths.h"
#include "install/registry.h"
#include "install_fixture.h"
#include "payload/component_table.h"
#include "setup/setup_driver.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velk Modular";
const char kProductKey[] = "SOFTWARE\\Brantic\\Velk Modular";
const char kAppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vm.exe";

const char kHomePage[] = "C:\\Program Files\\Velk Modular\\Velk Modular Home Page.url";

class RegisterProductTest : public InstallStepTest {
 protected:
  void SetUp() override {
    InstallStepTest::SetUp();
    buildVersionText();
    for (ComponentSizes& sizes : componentSizes) sizes = ComponentSizes{0, 0, 0};
  }

  static void installHomePage(const std::string& content) {
    ASSERT_TRUE(createDirectoryPath(installOptions.targetFolder));
    ASSERT_TRUE(sim::writeFile(kHomePage, content));
  }
};

}  // namespace

TEST_F(RegisterProductTest, OnNTWritesTheUninstallEntryForTheUserAndTheAppPathForTheMachine) {
  registerProduct();
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kUninstallKey, "DisplayName", "Velk Modular"));
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kUninstallKey, "UninstallString",
                      "C:\\Program Files\\Velk Modular\\_vmunins.exe"));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "InstallDir", "C:\\Program Files\\Velk Modular"));
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "WorkDir", "C:\\Program Files\\Velk Modular\\Work"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kAppPathKey, "", "C:\\Program Files\\Velk Modular\\vm.exe"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kAppPathKey, "Path", "C:\\Program Files\\Velk Modular"));
  EXPECT_EQ(sim::registryValueNames(HKEY_LOCAL_MACHINE, kAppPathKey).size(), 2u);
}

TEST_F(RegisterProductTest, On9xTheUninstallEntryIsTheMachines) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  registerProduct();
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", "Velk Modular"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString",
                      "C:\\Program Files\\Velk Modular\\_vmunins.exe"));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, kUninstallKey));
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "InstallDir", "C:\\Program Files\\Velk Modular"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kAppPathKey, "", "C:\\Program Files\\Velk Modular\\vm.exe"));
}

TEST_F(RegisterProductTest, WithoutRightsToTheMachineKeyTheUsersValuesAreStillWritten) {
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "");
  registerProduct();
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kUninstallKey, "DisplayName", "Velk Modular"));
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "WorkDir", "C:\\Program Files\\Velk Modular\\Work"));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
}

TEST_F(RegisterProductTest, AnUnwritableUninstallEntryDoesNotStopTheProductKey) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
  registerProduct();
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "InstallDir", "C:\\Program Files\\Velk Modular"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kAppPathKey, "Path", "C:\\Program Files\\Velk Modular"));
}

TEST_F(RegisterProductTest, PathLosesTrailingSeparatorsButInstallDirKeepsTheFolderAsTyped) {
  struct Case {
    const char* target;
    const char* path;
  };
  const Case cases[] = {
      {"C:\\Program Files\\Velk Modular\\", "C:\\Program Files\\Velk Modular"},
      {"C:\\Synth/\\/", "C:\\Synth"},
      {"D:\\", "D:\\"},
      {"D:\\\\", "D:\\"},
      {"D:/", "D:/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    setTargetFolder(c.target);
    registerProduct();
    EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kAppPathKey, "Path", c.path));
    EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "InstallDir", c.target));
  }
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kUninstallKey, "UninstallString", "D:/_vmunins.exe"))
      << "no separator is added after one the folder ends in";
}

TEST_F(RegisterProductTest, WithoutTheProgramNeitherWorkDirNorTheAppPathIsWritten) {
  installOptions.componentSelected[kComponentProgram] = 0;
  registerProduct();
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kUninstallKey, "DisplayName", "Velk Modular"));
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kUninstallKey, "UninstallString",
                      "C:\\Program Files\\Velk Modular\\_vmunins.exe"));
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "InstallDir", "C:\\Program Files\\Velk Modular"));
  EXPECT_EQ(sim::registryValueNames(HKEY_CURRENT_USER, kProductKey), std::vector<std::string>{"InstallDir"});
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
}

TEST_F(RegisterProductTest, AFolderTooLongForTheUninstallerPathWritesNothingAtAll) {
  // 247 characters, a separator and "_vmunins.exe" make 260: one too many.
  std::string tooLong = "C:\\" + std::string(244, 'x');
  setTargetFolder(tooLong);
  registerProduct();
  EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, kUninstallKey));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, kProductKey));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));

  std::string longest = "C:\\" + std::string(243, 'x');
  setTargetFolder(longest);
  registerProduct();
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kUninstallKey, "UninstallString", longest + "\\_vmunins.exe"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kAppPathKey, "", longest + "\\vm.exe"));
}

TEST_F(RegisterProductTest, ARegistrationOverAnEarlierOneReplacesItsValues) {
  sim::setRegistryText(HKEY_CURRENT_USER, kProductKey, "InstallDir", "F:\\Old");
  sim::setRegistryValue(HKEY_CURRENT_USER, kProductKey, "WorkDir", REG_EXPAND_SZ, std::string("F:\\Old\\Work\0", 12));
  registerProduct();
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "InstallDir", "C:\\Program Files\\Velk Modular"));
  EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kProductKey, "WorkDir", "C:\\Program Files\\Velk Modular\\Work"));
}

TEST_F(RegisterProductTest, TheEntryDescribesTheInstallationAfterItsNameAndCommandOnBothFamilies) {
  installHomePage("[InternetShortcut]\r\nURL=http://www.velkmodular.example/\r\n");
  componentSizes[kComponentProgram].rawBytes = 4096;
  componentSizes[kComponentSupport].rawBytes = 1000;
  struct Case {
    sim::WindowsFamily family;
    HKEY root;
    const char* rootName;
    int32_t program;
    const char* icon;  // without the synthesizer, the uninstaller is the program that is there
    uint32_t kibibytes;
  };
  const Case cases[] = {
      {sim::WindowsFamily::NT, HKEY_CURRENT_USER, "HKEY_CURRENT_USER", 1, "vm.exe,0", 5},
      {sim::WindowsFamily::Win9x, HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", 0, "_vmunins.exe,0", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rootName);
    sim::setWindowsFamily(c.family);
    installOptions.componentSelected[kComponentProgram] = c.program;
    size_t before = sim::callSubjects(sim::Fault::registryValueSet).size();
    registerProduct();
    const std::vector<std::string>& sets = sim::callSubjects(sim::Fault::registryValueSet);
    ASSERT_GE(sets.size(), before + 2);
    std::string entry = std::string(c.rootName) + "\\" + kUninstallKey + "\\";
    EXPECT_EQ(std::vector<std::string>(sets.begin() + before, sets.begin() + before + 2),
              (std::vector<std::string>{entry + "DisplayName", entry + "UninstallString"}));
    EXPECT_TRUE(hasText(c.root, kUninstallKey, "UninstallString", "C:\\Program Files\\Velk Modular\\_vmunins.exe"));
    EXPECT_TRUE(hasText(c.root, kUninstallKey, "QuietUninstallString",
                        "\"C:\\Program Files\\Velk Modular\\_vmunins.exe\" /S"));
    EXPECT_TRUE(
        hasText(c.root, kUninstallKey, "DisplayIcon", std::string("C:\\Program Files\\Velk Modular\\") + c.icon));
    EXPECT_TRUE(hasText(c.root, kUninstallKey, "DisplayVersion", "2.08.004"));
    EXPECT_TRUE(hasText(c.root, kUninstallKey, "Publisher", "Brantic"));
    EXPECT_TRUE(hasText(c.root, kUninstallKey, "InstallLocation", "C:\\Program Files\\Velk Modular"));
    EXPECT_TRUE(hasNumber(c.root, kUninstallKey, "EstimatedSize", c.kibibytes));
    EXPECT_TRUE(hasNumber(c.root, kUninstallKey, "NoModify", 1));
    EXPECT_TRUE(hasNumber(c.root, kUninstallKey, "NoRepair", 1));
    EXPECT_TRUE(hasText(c.root, kUninstallKey, "URLInfoAbout", "http://www.velkmodular.example/"));
    std::vector<std::string> names = sim::registryValueNames(c.root, kUninstallKey);
    std::vector<std::string> removed(kUninstallEntryValues, kUninstallEntryValues + kUninstallEntryValueCount);
    std::sort(names.begin(), names.end());
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(names, removed) << "the uninstaller removes what the setup writes";
  }
}

TEST_F(RegisterProductTest, EstimatedSizeCountsTheSelectedComponentsInWholeKibibytes) {
  struct Case {
    const char* selected;  // one flag per component, 0 to 6
    int32_t rawBytes[kComponentCount];
    uint32_t kibibytes;
  };
  const Case cases[] = {
      {"0000001", {0, 0, 0, 0, 0, 0, 1}, 1},
      {"1000001", {1024, 0, 0, 0, 0, 0, 1024}, 2},
      {"1000001", {1024, 0, 0, 0, 0, 0, 1025}, 3},
      {"0100101", {9999999, 2048, 9999999, 9999999, 1024, 9999999, 1024}, 4},
      // Past 4 GiB together, as 32-bit sums would wrap.
      {"1111111", {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}, 14680064},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selected);
    for (int32_t component = 0; component < kComponentCount; ++component) {
      installOptions.componentSelected[component] = c.selected[component] - '0';
      componentSizes[component].rawBytes = c.rawBytes[component];
    }
    registerProduct();
    EXPECT_TRUE(hasNumber(HKEY_CURRENT_USER, kUninstallKey, "EstimatedSize", c.kibibytes));
  }
}

TEST_F(RegisterProductTest, URLInfoAboutIsTheHomePageShortcutsWholeAddressOrNothing) {
  const std::string longest = "http://www.velkmodular.example/" + std::string(2051, 'p');
  struct Case {
    const char* name;
    std::string content;  // of the shortcut; none when empty
    std::string address;  // none when empty
  };
  const Case cases[] = {
      {"as shipped", "[InternetShortcut]\r\nURL=http://www.velkmodular.example/\r\n",
       "http://www.velkmodular.example/"},
      {"quoted, among other keys",
       "[Other]\r\nURL=x\r\n[internetshortcut]\r\nIconIndex=0\r\nurl = \"http://a.example/\"\r\n", "http://a.example/"},
      {"no shortcut", "", ""},
      {"no address", "[InternetShortcut]\r\n", ""},
      {"longest address", "[InternetShortcut]\r\nURL=" + longest + "\r\n", longest},
      {"address too long to read whole", "[InternetShortcut]\r\nURL=" + longest + "p\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteKeyA(HKEY_CURRENT_USER, kUninstallKey);
    if (!c.content.empty()) installHomePage(c.content);
    registerProduct();
    if (c.address.empty()) {
      sim::RegistryValue value;
      EXPECT_FALSE(sim::registryValue(HKEY_CURRENT_USER, kUninstallKey, "URLInfoAbout", &value));
    } else {
      EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kUninstallKey, "URLInfoAbout", c.address));
    }
    EXPECT_TRUE(hasText(HKEY_CURRENT_USER, kUninstallKey, "Publisher", "Brantic"));
    DeleteFileA(kHomePage);
  }
}

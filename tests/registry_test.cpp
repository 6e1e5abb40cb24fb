// Registration of the product: uninstall entry, product key and App Paths.
#include <string>

#include "install/registry.h"
#include "install_fixture.h"

namespace {

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velk Modular";
const char kProductKey[] = "SOFTWARE\\Brantic\\Velk Modular";
const char kAppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vm.exe";

class RegisterProductTest : public InstallStepTest {};

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

// Removing the product's registration: each entry only while it names this
// installation, and only keys that are left empty.
#include <string>
#include <vector>

#include "uninstall/registration_removal.h"
#include "uninstall_fixture.h"

using RegistrationRemovalTest = UninstallTest;

TEST_F(RegistrationRemovalTest, EntriesNamingTheFolderInAnotherSpellingAreStillItsOwn) {
  setTargetFolder("c:\\program files\\VELK MODULAR\\");
  registerProduct();
  removeRegistration(kInstallFolder);
  EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, kVendorKey));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, kUninstallKey));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kAppPathKey));
}

TEST_F(RegistrationRemovalTest, KeysThatStillHoldSomethingElseStayOnBothFamilies) {
  for (sim::WindowsFamily family : {sim::WindowsFamily::NT, sim::WindowsFamily::Win9x}) {
    sim::setWindowsFamily(family);
    HKEY uninstallRoot = family == sim::WindowsFamily::NT ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    setTargetFolder(kInstallFolder);
    registerProduct();
    // Windows 95, 98 and ME would delete these with their parent's key.
    sim::setRegistryText(HKEY_CURRENT_USER, std::string(kVendorKey) + "\\Other Product", "InstallDir", "C:\\Other");
    sim::setRegistryText(HKEY_CURRENT_USER, std::string(kProductKey) + "\\Settings", "Skin", "Classic");
    sim::setRegistryText(uninstallRoot, kUninstallKey, "Comments", "Kept by another program");
    removeRegistration(kInstallFolder);
    EXPECT_EQ(sim::registryValueNames(HKEY_CURRENT_USER, kProductKey), std::vector<std::string>{});
    EXPECT_TRUE(hasText(HKEY_CURRENT_USER, std::string(kProductKey) + "\\Settings", "Skin", "Classic"));
    EXPECT_TRUE(hasText(HKEY_CURRENT_USER, std::string(kVendorKey) + "\\Other Product", "InstallDir", "C:\\Other"));
    EXPECT_EQ(sim::registryValueNames(uninstallRoot, kUninstallKey), std::vector<std::string>{"Comments"});

    RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(kProductKey) + "\\Settings").c_str());
    removeEmptyProductKey(HKEY_CURRENT_USER);
    EXPECT_FALSE(sim::registryKeyExists(HKEY_CURRENT_USER, kProductKey));
    EXPECT_TRUE(sim::registryKeyExists(HKEY_CURRENT_USER, kVendorKey));
    RegDeleteKeyA(HKEY_CURRENT_USER, kVendorKey);
  }
}

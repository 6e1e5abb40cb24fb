// Removing the pipe driver: only the last installation that counts it
// removes it, with its registration on either family; a file in use waits
// for the next start; what is not this product's driver stays.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "uninstall/pipe_driver_removal.h"
#include "uninstall_fixture.h"

namespace {

class PipeDriverRemovalTest : public UninstallTest {
 protected:
  // The driver as an installation leaves it, counted `count` times.
  void installDriver(sim::WindowsFamily family, uint32_t count) {
    sim::setWindowsFamily(family);
    bool nt = family == sim::WindowsFamily::NT;
    name_ = nt ? "velkpipe.dll" : "velkpipe.drv";
    path_ = sim::systemFolder() + "\\" + name_;
    ASSERT_TRUE(sim::writeFile(path_, kDriverContent));
    sim::setRegistryText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", name_);
    sim::setRegistryValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, path_, REG_DWORD,
                          std::string(reinterpret_cast<const char*>(&count), sizeof count));
    if (nt) {
      sim::setRegistryText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi", "wdmaud.drv");
      sim::setRegistryText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi1", "VELKPIPE.DLL");
      sim::setRegistryText(HKEY_LOCAL_MACHINE, kDrivers32Key, "wave", "wdmaud.drv");
      sim::setRegistryText(HKEY_LOCAL_MACHINE, kDriversDescKey, name_, "Velk Modular");
      sim::setRegistryText(HKEY_LOCAL_MACHINE, kDriversDescKey, "wdmaud.drv", "Audio");
    } else {
      ASSERT_TRUE(WritePrivateProfileStringA("drivers", "MIDIVelkModular", name_.c_str(), "system.ini"));
    }
  }

  void expectDriverInPlace() {
    EXPECT_TRUE(sim::fileExists(path_));
    EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", name_));
    if (sim::windowsFamily() == sim::WindowsFamily::NT) {
      EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi1", "VELKPIPE.DLL"));
      EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDriversDescKey, name_, "Velk Modular"));
    } else {
      EXPECT_EQ(sim::profileSection("system.ini", "drivers"),
                (std::vector<std::string>{"wave=mmsystem.dll", "MIDIVelkModular=" + name_}));
    }
  }

  std::string name_;
  std::string path_;
  RemovalTally tally_;
};

}  // namespace

TEST_F(PipeDriverRemovalTest, AnotherInstallationsCountKeepsTheDriverAndLowersTheCount) {
  for (sim::WindowsFamily family : {sim::WindowsFamily::NT, sim::WindowsFamily::Win9x}) {
    installDriver(family, 3);
    removePipeDriver(tally_);
    EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, path_, 2));
    removePipeDriver(tally_);
    EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, path_, 1));
    expectDriverInPlace();
  }
  EXPECT_EQ(tally_.scheduled, 0);
}

TEST_F(PipeDriverRemovalTest, TheLastCountOnNTTakesTheDriversValuesItsFileAndItsName) {
  installDriver(sim::WindowsFamily::NT, 1);
  removePipeDriver(tally_);
  EXPECT_FALSE(sim::fileExists(path_));
  EXPECT_TRUE(sim::registryValueNames(HKEY_LOCAL_MACHINE, kSharedDllsKey).empty());
  EXPECT_EQ(sim::registryValueNames(HKEY_LOCAL_MACHINE, kDrivers32Key), (std::vector<std::string>{"midi", "wave"}));
  EXPECT_EQ(sim::registryValueNames(HKEY_LOCAL_MACHINE, kDriversDescKey), std::vector<std::string>{"wdmaud.drv"});
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kVendorKey));
  EXPECT_EQ(tally_.scheduled, 0);
}

TEST_F(PipeDriverRemovalTest, TheLastCountOn9xTakesItsSystemIniLineAndKeepsTheOthers) {
  installDriver(sim::WindowsFamily::Win9x, 1);
  removePipeDriver(tally_);
  EXPECT_FALSE(sim::fileExists(path_));
  EXPECT_EQ(sim::profileSection("system.ini", "drivers"), std::vector<std::string>{"wave=mmsystem.dll"});
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kProductKey));
}

TEST_F(PipeDriverRemovalTest, ADriversSectionThatHeldOnlyItsLineGoesWithIt) {
  ASSERT_TRUE(sim::writeFile(sim::profilePath("system.ini"), "[boot]\r\nshell=Explorer.exe\r\n"));
  installDriver(sim::WindowsFamily::Win9x, 1);
  removePipeDriver(tally_);
  EXPECT_EQ(sim::profileSection("system.ini", "boot"), std::vector<std::string>{"shell=Explorer.exe"});
  std::ifstream in(sim::hostPath(sim::profilePath("system.ini")), std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content.find("[drivers]"), std::string::npos) << content;
}

TEST_F(PipeDriverRemovalTest, AMissingOrUnreadableCountMeansNoOtherInstallationUsesIt) {
  installDriver(sim::WindowsFamily::NT, 1);
  sim::setRegistryText(HKEY_LOCAL_MACHINE, kSharedDllsKey, path_, "2");
  removePipeDriver(tally_);
  EXPECT_FALSE(sim::fileExists(path_));
  EXPECT_TRUE(sim::registryValueNames(HKEY_LOCAL_MACHINE, kSharedDllsKey).empty());
}

TEST_F(PipeDriverRemovalTest, ADriverInUseIsDeletedAtTheNextStart) {
  installDriver(sim::WindowsFamily::NT, 1);
  sim::lockFile(path_);
  removePipeDriver(tally_);
  EXPECT_EQ(tally_.scheduled, 1);
  ASSERT_EQ(sim::delayedMoves().size(), 1u);
  EXPECT_EQ(sim::delayedMoves()[0].source, path_);
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kProductKey));
}

TEST_F(PipeDriverRemovalTest, AFileThatIsNotThisProductsDriverStays) {
  installDriver(sim::WindowsFamily::NT, 1);
  ASSERT_TRUE(sim::writeFile(path_, "MZ another vendor's driver"));
  removePipeDriver(tally_);
  EXPECT_TRUE(sim::fileExists(path_));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kProductKey));
}

TEST_F(PipeDriverRemovalTest, ANameThatLeadsOutOfTheSystemFolderIsNotFollowed) {
  installDriver(sim::WindowsFamily::NT, 1);
  ASSERT_TRUE(sim::writeFile("C:\\WINDOWS\\velkpipe.dll", kDriverContent));
  for (const char* name : {"..\\velkpipe.dll", "C:\\WINDOWS\\velkpipe.dll", "..", ""}) {
    SCOPED_TRACE(name);
    sim::setRegistryText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", name);
    removePipeDriver(tally_);
    EXPECT_TRUE(sim::fileExists("C:\\WINDOWS\\velkpipe.dll"));
    EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, path_, 1));
    EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", name));
  }
}

TEST_F(PipeDriverRemovalTest, WithoutTheRightToWriteTheCountNothingIsTouched) {
  installDriver(sim::WindowsFamily::NT, 1);
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "");
  removePipeDriver(tally_);
  expectDriverInPlace();
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, path_, 1));
}

TEST_F(PipeDriverRemovalTest, WithoutADriverNameNothingIsTouched) {
  installDriver(sim::WindowsFamily::NT, 1);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(key, "VelkPipe"), ERROR_SUCCESS);
  RegCloseKey(key);
  removePipeDriver(tally_);
  EXPECT_TRUE(sim::fileExists(path_));
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, path_, 1));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi1", "VELKPIPE.DLL"));
}

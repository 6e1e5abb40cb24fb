// Installing the pipe driver: the free name in the system folder, an earlier
// copy replaced at the next start, the registration on both families, the
// shared-file count and when a restart becomes needed.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "install/pipe_driver.h"
#include "base/paths.h"
#include "install_fixture.h"
#include "payload/catalogue.h"
#include "payload/checksum.h"
#include "payload/file_records.h"
#include "payload/component_table.h"
#include "vmpack/entry_builder.h"

namespace {

const char kTarget[] = "C:\\Program Files\\Velk Modular";
const char kProductKey[] = "SOFTWARE\\Brantic\\Velk Modular";
const char kDrivers32Key[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const char kDriversDescKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";
const char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

const std::string kOurDriver = std::string("MZ\x90\0\3", 5) + "...Velk Modular MIDI pipe driver 2.08...";
const std::string kForeignDriver = "MZ another vendor's MIDI driver";

class PipeDriverTest : public InstallStepTest {
 protected:
  void SetUp() override {
    InstallStepTest::SetUp();
    ASSERT_TRUE(createDirectoryPath(kTarget));
  }

  // The family, and the driver the extraction leaves in the target folder.
  void onFamily(sim::WindowsFamily family) {
    sim::setWindowsFamily(family);
    bool nt = family == sim::WindowsFamily::NT;
    source_ = std::string(kTarget) + (nt ? "\\_velkp32.dll" : "\\_velkp16.drv");
    extension_ = nt ? ".dll" : ".drv";
    ASSERT_TRUE(sim::writeFile(source_, newDriver()));
    // The payload entry the driver came from, whose catalogue vouches for it.
    sim::addResource(kPayloadResourceType, nt ? kPipeDriverEntryNt : kPipeDriverEntry9x,
                     makeEntry({}, {{nt ? "_velkp32.dll" : "_velkp16.drv", newDriver()}}));
  }

  std::string inSystem(const std::string& stem) const { return sim::systemFolder() + "\\" + stem + extension_; }
  std::string name(const std::string& stem) const { return stem + extension_; }
  void placeInSystem(const std::string& stem, const std::string& content) {
    ASSERT_TRUE(sim::writeFile(inSystem(stem), content));
  }
  std::string newDriver() const { return kOurDriver + (extension_ == ".dll" ? " 32" : " 16"); }

  std::string source_;
  std::string extension_;
};

}  // namespace

TEST_F(PipeDriverTest, OnACleanNTSystemTheDriverTakesItsOwnNameAndIsRegistered) {
  onFamily(sim::WindowsFamily::NT);
  ASSERT_TRUE(installPipeDriver());
  EXPECT_EQ(contentOf(inSystem("velkpipe")), newDriver());
  EXPECT_FALSE(sim::fileExists(source_)) << "the driver is moved, not copied";
  EXPECT_TRUE(sim::delayedMoves().empty());
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", "velkpipe.dll"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi", "velkpipe.dll"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDriversDescKey, "velkpipe.dll", "Velk Modular"));
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, "C:\\WINDOWS\\SYSTEM32\\velkpipe.dll", 1));
  EXPECT_FALSE(sim::fileExists(sim::profilePath("system.ini")));
  EXPECT_EQ(installOptions.restartNeeded, 1);
}

TEST_F(PipeDriverTest, OnAClean9xSystemTheDriverIsRegisteredInSystemIni) {
  onFamily(sim::WindowsFamily::Win9x);
  ASSERT_TRUE(sim::writeFile(sim::profilePath("system.ini"), "[boot]\r\nshell=Explorer.exe\r\n[drivers]\r\nwave=mmsystem.dll\r\n"));
  ASSERT_TRUE(installPipeDriver());
  EXPECT_EQ(contentOf("C:\\WINDOWS\\SYSTEM\\velkpipe.drv"), newDriver());
  EXPECT_FALSE(sim::fileExists(source_));
  EXPECT_EQ(sim::profileSection("system.ini", "drivers"),
            (std::vector<std::string>{"wave=mmsystem.dll", "MIDIVelkModular=velkpipe.drv"}));
  EXPECT_EQ(sim::profileSection("system.ini", "boot"), std::vector<std::string>{"shell=Explorer.exe"});
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", "velkpipe.drv"));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kDrivers32Key));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kDriversDescKey));
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, "C:\\WINDOWS\\SYSTEM\\velkpipe.drv", 1));
  EXPECT_EQ(installOptions.restartNeeded, 1);
}

TEST_F(PipeDriverTest, AnEarlierCopyUnderTheOwnNameIsReplacedAtTheNextStart) {
  onFamily(sim::WindowsFamily::Win9x);
  placeInSystem("velkpipe", kOurDriver + " old");
  ASSERT_TRUE(installPipeDriver());
  EXPECT_EQ(contentOf(inSystem("velkpi00")), newDriver());
  EXPECT_EQ(contentOf(inSystem("velkpipe")), kOurDriver + " old") << "Windows may hold it until the restart";
  EXPECT_EQ(sim::profileSection("wininit.ini", "rename"),
            std::vector<std::string>{"C:\\WINDOWS\\SYSTEM\\velkpipe.drv=C:\\WINDOWS\\SYSTEM\\velkpi00.drv"});
  EXPECT_EQ(sim::profileSection("system.ini", "drivers"), std::vector<std::string>{"MIDIVelkModular=velkpipe.drv"});
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", "velkpipe.drv"));
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, "C:\\WINDOWS\\SYSTEM\\velkpipe.drv", 1));
  sim::RegistryValue count;
  EXPECT_FALSE(sim::registryValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, "C:\\WINDOWS\\SYSTEM\\velkpi00.drv", &count));
  EXPECT_EQ(installOptions.restartNeeded, 1);
}

TEST_F(PipeDriverTest, OnNTTheEarlierCopyIsReplacedByADelayedMove) {
  onFamily(sim::WindowsFamily::NT);
  placeInSystem("velkpipe", kOurDriver + " old");
  ASSERT_TRUE(installPipeDriver());
  ASSERT_EQ(sim::delayedMoves().size(), 1u);
  EXPECT_EQ(sim::delayedMoves()[0].source, "C:\\WINDOWS\\SYSTEM32\\velkpi00.dll");
  EXPECT_EQ(sim::delayedMoves()[0].destination, "C:\\WINDOWS\\SYSTEM32\\velkpipe.dll");
  EXPECT_EQ(sim::delayedMoves()[0].flags, static_cast<DWORD>(MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi", "velkpipe.dll"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDriversDescKey, "velkpipe.dll", "Velk Modular"));
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, "C:\\WINDOWS\\SYSTEM32\\velkpipe.dll", 1));
}

TEST_F(PipeDriverTest, AnotherVendorsFileUnderTheOwnNameIsLeftAlone) {
  onFamily(sim::WindowsFamily::NT);
  placeInSystem("velkpipe", kForeignDriver);
  ASSERT_TRUE(installPipeDriver());
  EXPECT_EQ(contentOf(inSystem("velkpipe")), kForeignDriver);
  EXPECT_EQ(contentOf(inSystem("velkpi00")), newDriver());
  EXPECT_TRUE(sim::delayedMoves().empty());
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", "velkpi00.dll"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi", "velkpi00.dll"));
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, "C:\\WINDOWS\\SYSTEM32\\velkpi00.dll", 1));
}

TEST_F(PipeDriverTest, TheFirstEarlierCopyFoundIsReplacedAndLaterOnesAreIgnored) {
  onFamily(sim::WindowsFamily::Win9x);
  placeInSystem("velkpipe", kForeignDriver);
  placeInSystem("velkpi00", kOurDriver + " old");
  placeInSystem("velkpi01", kOurDriver + " older");
  ASSERT_TRUE(installPipeDriver());
  EXPECT_EQ(contentOf(inSystem("velkpi02")), newDriver());
  EXPECT_EQ(sim::profileSection("wininit.ini", "rename"),
            std::vector<std::string>{"C:\\WINDOWS\\SYSTEM\\velkpi00.drv=C:\\WINDOWS\\SYSTEM\\velkpi02.drv"});
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", "velkpi00.drv"));
  EXPECT_EQ(sim::profileSection("system.ini", "drivers"), std::vector<std::string>{"MIDIVelkModular=velkpi00.drv"});
}

TEST_F(PipeDriverTest, AFolderCanTakeAName) {
  onFamily(sim::WindowsFamily::NT);
  ASSERT_TRUE(createDirectoryPath(inSystem("velkpipe").c_str()));
  ASSERT_TRUE(installPipeDriver());
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", "velkpi00.dll"));
}

TEST_F(PipeDriverTest, WhenAll101NamesAreTakenNothingIsCopiedOrRegistered) {
  onFamily(sim::WindowsFamily::NT);
  placeInSystem("velkpipe", kOurDriver);
  char stem[16];
  for (int i = 0; i < 100; ++i) {
    snprintf(stem, sizeof stem, "velkpi%02d", i);
    placeInSystem(stem, kForeignDriver);
  }
  EXPECT_FALSE(installPipeDriver());
  EXPECT_TRUE(sim::fileExists(source_));
  EXPECT_TRUE(sim::delayedMoves().empty());
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kProductKey));
  EXPECT_EQ(installOptions.restartNeeded, 0);

  // With the last numbered name free, it is the one taken.
  std::filesystem::remove(sim::hostPath(inSystem("velkpi99")));
  EXPECT_TRUE(installPipeDriver());
  EXPECT_EQ(contentOf(inSystem("velkpi99")), newDriver());
}

TEST_F(PipeDriverTest, Drivers32KeepsOurOwnSlotWhateverItsCase) {
  onFamily(sim::WindowsFamily::NT);
  sim::setRegistryText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi", "VELKPIPE.DLL");
  ASSERT_TRUE(installPipeDriver());
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi", "velkpipe.dll"));
  EXPECT_EQ(sim::registryValueNames(HKEY_LOCAL_MACHINE, kDrivers32Key), std::vector<std::string>{"midi"});
}

TEST_F(PipeDriverTest, Drivers32TakesTheFirstFreeSlotPastOtherDrivers) {
  onFamily(sim::WindowsFamily::NT);
  sim::setRegistryText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi", "wdmaud.drv");
  sim::setRegistryText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi1", "othersynth.dll");
  // Neither a value of another type nor one too long to read can be ours.
  sim::setRegistryValue(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi2", REG_EXPAND_SZ,
                        std::string("velkpipe.dll\0", 13));
  sim::setRegistryText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi3", "velkpipe.dll" + std::string(300, ' '));
  sim::setRegistryText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi5", "velkpipe.dll");
  ASSERT_TRUE(installPipeDriver());
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi4", "velkpipe.dll"));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi1", "othersynth.dll"));
}

TEST_F(PipeDriverTest, WithAllHundredMidiSlotsTakenTheDriverIsNotRegistered) {
  onFamily(sim::WindowsFamily::NT);
  sim::setRegistryText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi", "other.drv");
  for (int j = 1; j < 100; ++j) {
    sim::setRegistryText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi" + std::to_string(j), "other.drv");
  }
  EXPECT_FALSE(installPipeDriver());
  EXPECT_EQ(installOptions.restartNeeded, 0);
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kDriversDescKey));
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", "velkpipe.dll")) << "nothing is undone";
}

TEST_F(PipeDriverTest, TheSharedFileCountGrowsAndReplacesAValueOfTheWrongType) {
  onFamily(sim::WindowsFamily::NT);
  const std::string path = "C:\\WINDOWS\\SYSTEM32\\velkpipe.dll";
  sim::setRegistryText(HKEY_LOCAL_MACHINE, kSharedDllsKey, path, "3");
  ASSERT_TRUE(installPipeDriver());
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, path, 1));

  // Installed again over itself: the earlier copy is ours and keeps its name.
  ASSERT_TRUE(sim::writeFile(source_, newDriver()));
  ASSERT_TRUE(installPipeDriver());
  EXPECT_TRUE(hasNumber(HKEY_LOCAL_MACHINE, kSharedDllsKey, path, 2));
}

TEST_F(PipeDriverTest, RestartIsNeededOnlyOnceSomethingIsScheduledOrRegistered) {
  onFamily(sim::WindowsFamily::NT);
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "");
  EXPECT_FALSE(installPipeDriver());
  EXPECT_EQ(installOptions.restartNeeded, 0);
  EXPECT_EQ(contentOf(inSystem("velkpipe")), newDriver()) << "the copy stays";

  // An earlier copy is replaced before the registry is touched: the
  // replacement alone needs the restart.
  ASSERT_TRUE(sim::writeFile(source_, newDriver()));
  EXPECT_FALSE(installPipeDriver());
  EXPECT_EQ(sim::delayedMoves().size(), 1u);
  EXPECT_EQ(installOptions.restartNeeded, 1);
}

TEST_F(PipeDriverTest, OnNTTheRestartIsNeededOnceDrivers32HoldsTheDriver) {
  onFamily(sim::WindowsFamily::NT);
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc");
  EXPECT_FALSE(installPipeDriver());
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kDrivers32Key, "midi", "velkpipe.dll"));
  EXPECT_EQ(installOptions.restartNeeded, 1);
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kSharedDllsKey));
}

TEST_F(PipeDriverTest, On9xAnUnwritableSystemIniFailsWithoutARestart) {
  onFamily(sim::WindowsFamily::Win9x);
  ASSERT_TRUE(sim::writeFile(sim::profilePath("system.ini"), "[drivers]\r\n"));
  sim::lockFile(sim::profilePath("system.ini"));
  EXPECT_FALSE(installPipeDriver());
  EXPECT_EQ(installOptions.restartNeeded, 0);
  EXPECT_TRUE(hasText(HKEY_LOCAL_MACHINE, kProductKey, "VelkPipe", "velkpipe.drv"));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kSharedDllsKey));
}

TEST_F(PipeDriverTest, WithoutItsPayloadEntryTheDriverIsNotRegistered) {
  sim::setWindowsFamily(sim::WindowsFamily::NT);
  EXPECT_FALSE(installPipeDriver());
  EXPECT_FALSE(sim::fileExists(sim::systemFolder() + "\\velkpipe.dll"));
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kProductKey));
  EXPECT_EQ(installOptions.restartNeeded, 0);
}

using DriverMarkerTest = SimTest;

TEST_F(DriverMarkerTest, FindsTheMarkerAnywhereInTheFile) {
  const std::string marker = "Velk Modular MIDI pipe driver";
  const std::string cases[] = {marker, "\x01\x02" + marker, std::string("x\0y", 3) + marker + "tail",
                               "Velk Modular " + marker, "Velk Modular MIDI pipe drive" + marker,
                               // a byte that breaks a partial match may begin the marker itself
                               "V" + marker, "Velk V" + marker};
  for (const std::string& content : cases) {
    SCOPED_TRACE(content);
    ASSERT_TRUE(sim::writeFile("C:\\driver.bin", content));
    EXPECT_TRUE(hasDriverMarker("C:\\driver.bin"));
  }
}

TEST_F(DriverMarkerTest, APartOrAVariantOfTheMarkerIsNotEnough) {
  const std::string cases[] = {"", "Velk Modular MIDI pipe drive", "velk modular midi pipe driver",
                               "Velk Modular MIDI  pipe driver", std::string("Velk Modular\0MIDI pipe driver", 29)};
  for (const std::string& content : cases) {
    SCOPED_TRACE(content);
    ASSERT_TRUE(sim::writeFile("C:\\driver.bin", content));
    EXPECT_FALSE(hasDriverMarker("C:\\driver.bin"));
  }
  EXPECT_FALSE(hasDriverMarker("C:\\missing.bin"));
  EXPECT_FALSE(hasDriverMarker("C:\\"));
  EXPECT_EQ(sim::liveHeapBlocks(), 0);
}

TEST_F(DriverMarkerTest, PathExistsForFilesAndFoldersInAnyCase) {
  ASSERT_TRUE(sim::writeFile("C:\\WINDOWS\\SYSTEM32\\velkpipe.dll", "x"));
  EXPECT_TRUE(pathExists("C:\\WINDOWS\\SYSTEM32\\velkpipe.dll"));
  EXPECT_TRUE(pathExists("c:\\windows\\system32\\VELKPIPE.DLL"));
  EXPECT_TRUE(pathExists("C:\\WINDOWS\\SYSTEM32"));
  EXPECT_FALSE(pathExists("C:\\WINDOWS\\SYSTEM32\\velkpi00.dll"));
  EXPECT_FALSE(pathExists("C:\\NOWHERE\\velkpipe.dll"));
  EXPECT_EQ(sim::openFindHandleCount(), 0);
}

// Someone who may write to the target folder swaps the extracted driver (or
// takes it away) before the step: the system folder still gets the payload's
// bytes, decoded again, and the target folder keeps nothing.
TEST_F(PipeDriverTest, TheSystemFolderGetsThePayloadsBytesWhateverStandsInTheTargetFolder) {
  for (sim::WindowsFamily family : {sim::WindowsFamily::NT, sim::WindowsFamily::Win9x}) {
    for (bool planted : {true, false}) {
      SCOPED_TRACE(std::string(planted ? "planted " : "missing ") + (family == sim::WindowsFamily::NT ? "NT" : "9x"));
      installOptions.restartNeeded = 0;
      onFamily(family);
      DeleteFileA(inSystem("velkpipe").c_str());
      if (planted) {
        ASSERT_TRUE(sim::writeFile(source_, newDriver().substr(0, 8) + "planted" + std::string(40, 'x')));
      } else {
        ASSERT_TRUE(DeleteFileA(source_.c_str()));
      }
      fileRecords.resize(0);
      crcTable.resize(0);
      int heldBefore = sim::liveHeapBlocks();
      EXPECT_TRUE(installPipeDriver());
      EXPECT_EQ(contentOf(inSystem("velkpipe")), newDriver());
      EXPECT_FALSE(sim::fileExists(source_));
      EXPECT_EQ(installOptions.restartNeeded, 1);
      // The decoded driver went back; the extraction's tables stay for the next entry.
      fileRecords.resize(0);
      crcTable.resize(0);
      EXPECT_EQ(sim::liveHeapBlocks(), heldBefore);
    }
  }
}

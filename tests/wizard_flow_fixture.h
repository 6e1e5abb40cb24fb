// The wizard's flows end to end on the sim: packer-made payload entries for
// every id, the title window up, COM and the common controls initialised,
// and the checks of the machine not yet made, as at the start of a run.
#ifndef VM_TESTS_WIZARD_FLOW_FIXTURE_H
#define VM_TESTS_WIZARD_FLOW_FIXTURE_H

#include <string>
#include <vector>

#include "payload/catalogue.h"
#include "payload/component_table.h"
#include "extract/progress.h"
#include "setup/machine_checks.h"
#include "setup/system_libraries.h"
#include "vmpack/entry_builder.h"
#include "wizard_fixture.h"

constexpr char kTarget[] = "C:\\Program Files\\Velk Modular";
// Varied enough that the decoder reports progress while it reads it.
const std::string kLicenseText = [] {
  std::string text = "VELK MODULAR LICENSE AGREEMENT\r\n";
  uint32_t seed = 12345;
  for (int line = 0; line < 30; ++line) {
    for (int letter = 0; letter < 60; ++letter) {
      seed = seed * 1103515245u + 12345u;
      text += static_cast<char>('a' + (seed >> 16) % 26);
    }
    text += "\r\n";
  }
  return text;
}();

inline void installEntry(int id, const std::vector<uint8_t>& bytes) {
  sim::addResource(kPayloadResourceType, id, bytes);
}

// One small entry per id; the pipe driver's are one file each.
inline void installSamplePayload() {
  installEntry(100, makeEntry({}, {{"vm.exe", std::string(3000, 'v')}, {"Readme.txt", "read me"}}));
  installEntry(101, makeEntry({"Help"}, {{"Help\\vm.hlp", "help"}}));
  installEntry(102, makeEntry({}, {{"vm.cnt", "contents"}}));
  installEntry(103, makeEntry({"Work"}, {}));
  installEntry(104, makeEntry({"Presets"}, {{"Presets\\Init.vmp", "init"}}));
  installEntry(105, makeEntry({"Wavetables"}, {{"Wavetables\\Saw.wav", "saw"}}));
  installEntry(200, makeEntry({"Modules"}, {{"Modules\\LFO.vmm", "lfo"}}));
  installEntry(300, makeEntry({"Library"}, {{"Library\\Chaos.vmm", "chaos"}}));
  installEntry(400, makeEntry({}, {{"_velkp16.drv", "16-bit Velk Modular MIDI pipe driver"}}));
  installEntry(450, makeEntry({}, {{"_velkp32.dll", "32-bit Velk Modular MIDI pipe driver"}}));
  installEntry(500, makeEntry({"Examples"}, {{"Examples\\Drone.vme", "drone"}}));
  installEntry(600, makeEntry({"Skins"}, {{"Skins\\Default.ini", "default"}}));
  installEntry(601, makeEntry({"Skins"}, {{"Skins\\Classic.ini", "classic"}}));
  installEntry(1000, makeEntry({}, {{"_vmunins.exe", "uninstaller"}}));
  installEntry(1001, makeEntry({}, {{"Velk Modular Home Page.url", "[InternetShortcut]"}}));
  installEntry(1002, makeEntry({}, {{"Velk Modular License.txt", kLicenseText}}));
}

class WizardFlowTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    systemDriveSpaceChecked = 0;
    adminRightsChecked = 0;
    cancelRequested = 0;
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    loadCommonControls();
    installSamplePayload();
    selectPipeDriverEntry(false);
  }

  void TearDown() override {
    CoUninitialize();
    // Every test starts with the table as the program does: entry 400.
    selectPipeDriverEntry(false);
    EXPECT_EQ(sim::openRegistryKeyCount(), 0);
    WizardTest::TearDown();
  }

  // What start-up does before the wizard: the family's pipe driver, the
  // payload's figures.
  static void verifyForFamily() {
    selectPipeDriverEntry(sim::windowsFamily() == sim::WindowsFamily::NT);
    ASSERT_EQ(verifyPayload(), 1);
  }
};

// Welcome to AboutToInstall with every page's default choice.
inline void walkToSummary() {
  pressOn("Welcome", IDOK);
  pressOn("License", IDOK);
  pressOn("Customize", IDOK);
  pressOn("Directory", IDOK);
}

#endif  // VM_TESTS_WIZARD_FLOW_FIXTURE_H

// The checks of the machine: the processor's floating-point unit and
// conditional moves, the free space on the Windows drive, and the rights the
// pipe driver needs on Windows NT.
#include "setup/machine_checks.h"
#include "wizard_fixture.h"

namespace {

constexpr char kSlowProcessor[] =
    "The Velk Modular is optimized to run on Pentium II, Celeron\nor compatible. The program's performance will be "
    "degraded.";
constexpr uint32_t kFpu = 1u << 0;
constexpr uint32_t kConditionalMoves = 1u << 15;

class MachineChecksTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    systemDriveSpaceChecked = 0;
    adminRightsChecked = 0;
  }
  void TearDown() override {
    EXPECT_EQ(sim::openRegistryKeyCount(), 0);
    WizardTest::TearDown();
  }
};

}  // namespace

TEST_F(MachineChecksTest, AProcessorWithoutAFloatingPointUnitEndsTheSetupHoweverTheNoticeCloses) {
  sim::setProcessorFeatures(0x0183F9FF & ~kFpu);
  onDialog("NoFPU", [](HWND notice) { sim::clickButton(notice, IDCANCEL); });
  EXPECT_FALSE(checkProcessor());
  sim::setProcessorWithoutCpuid(false);
  onDialog("NoFPU", [](HWND notice) { sim::clickCloseBox(notice); });
  EXPECT_FALSE(checkProcessor());
  EXPECT_TRUE(sim::messageBoxes().empty());
}

TEST_F(MachineChecksTest, WithoutConditionalMovesTheUserIsWarnedOnceAndTheSetupGoesOn) {
  sim::setProcessorFeatures(kFpu);
  sim::answerNextMessageBox(IDOK);
  EXPECT_TRUE(checkProcessor());
  ASSERT_EQ(boxTexts(), std::vector<std::string>{kSlowProcessor});
  EXPECT_EQ(sim::messageBoxes()[0].owner, setupContext.titleWindow);
  EXPECT_EQ(sim::messageBoxes()[0].caption, kCaption);
  EXPECT_EQ(sim::messageBoxes()[0].flags, static_cast<UINT>(MB_OK));
}

TEST_F(MachineChecksTest, AProcessorOlderThanCpuidWithAUnitGetsTheWarningAndGoesOn) {
  // Everything with conditional moves knows CPUID, so an older processor
  // has none.
  sim::setProcessorWithoutCpuid(true);
  sim::answerNextMessageBox(IDOK);
  EXPECT_TRUE(checkProcessor());
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kSlowProcessor});
  EXPECT_TRUE(sim::dialogHistory().empty());
}

TEST_F(MachineChecksTest, APentiumIIPassesWithoutAWord) {
  EXPECT_TRUE(checkProcessor());
  EXPECT_TRUE(sim::messageBoxes().empty());
}

TEST_F(MachineChecksTest, TheWindowsDriveNeedsThePipeDriversClustersAnd50K) {
  // No pipe driver files: 51200 bytes, asked for as 50 K.
  sim::setFreeBytes('C', 51200 - 4096);
  sim::answerNextMessageBox(IDOK);
  EXPECT_FALSE(checkSystemDriveSpace());
  // One file of one byte: a cluster more, 82 K.
  systemDriveSpaceChecked = 0;
  componentSizes[kComponentPipeDriver] = ComponentSizes{1, 32768, 12};
  sim::setFreeBytes('C', 51200 + 32768 - 1);
  sim::answerNextMessageBox(IDOK);
  EXPECT_FALSE(checkSystemDriveSpace());
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{
                            "You don't have enough free space on your Windows (C:\\) drive.\nAt least 50 K is required.",
                            "You don't have enough free space on your Windows (C:\\) drive.\nAt least 82 K is required."}));
  EXPECT_EQ(sim::messageBoxes()[0].owner, setupContext.titleWindow);
  systemDriveSpaceChecked = 0;
  sim::setFreeBytes('C', 51200 + 32768 + 4096);
  EXPECT_TRUE(checkSystemDriveSpace());
}

TEST_F(MachineChecksTest, TheSpaceCheckIsMadeOnceARunAndLooksAtTheSystemFoldersDrive) {
  sim::addDrive('E');
  ASSERT_TRUE(sim::setSystemFolder("e:\\WINNT\\system32"));
  sim::setFreeBytes('E', 0);
  sim::answerNextMessageBox(IDOK);
  EXPECT_FALSE(checkSystemDriveSpace());
  EXPECT_EQ(boxTexts()[0].substr(0, 56), "You don't have enough free space on your Windows (e:\\) d");
  EXPECT_TRUE(checkSystemDriveSpace());
  EXPECT_EQ(sim::messageBoxes().size(), 1u);
}

TEST_F(MachineChecksTest, ASystemFolderOffAnyDriveIsNotChecked) {
  sim::setFreeBytes('C', 0);
  ASSERT_FALSE(sim::setSystemFolder("\\\\server\\windows\\system32"));
  EXPECT_TRUE(checkSystemDriveSpace());
  EXPECT_TRUE(sim::messageBoxes().empty());
}

TEST_F(MachineChecksTest, AnAdministratorOnNtAndEveryUserOn9xPassTheRightsCheck) {
  EXPECT_TRUE(checkAdminRights());
  adminRightsChecked = 0;
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "");
  EXPECT_TRUE(checkAdminRights());
  EXPECT_EQ(installOptions.pipeDriverAllowed, 1);
  EXPECT_EQ(installOptions.componentSelected[kComponentPipeDriver], 1);
  EXPECT_TRUE(sim::dialogHistory().empty());
}

TEST_F(MachineChecksTest, WithoutRightsContinueGoesOnWithoutThePipeDriverForGood) {
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32");
  onDialog("NeedAdmin", [](HWND notice) {
    // Taken away before the notice shows.
    EXPECT_EQ(installOptions.pipeDriverAllowed, 0);
    EXPECT_EQ(installOptions.componentSelected[kComponentPipeDriver], 0);
    sim::clickButton(notice, IDOK);
  });
  EXPECT_TRUE(checkAdminRights());
  EXPECT_EQ(installOptions.pipeDriverAllowed, 0);
  // Asked once a run.
  EXPECT_TRUE(checkAdminRights());
  EXPECT_EQ(sim::dialogHistory(), std::vector<std::string>{"NeedAdmin"});
}

TEST_F(MachineChecksTest, WithoutRightsExitSetupEndsTheSetupAfterTheLeaveQuestion) {
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "SYSTEM");
  leaveFrom("NeedAdmin");
  EXPECT_FALSE(checkAdminRights());
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kLeaveQuestion});
}

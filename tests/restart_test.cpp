// The restart question and the restart itself on both families: the
// shutdown privilege on NT, and the message when Windows will not restart.
#include "setup/restart.h"
#include "wizard_fixture.h"

namespace {

constexpr char kManualRestart[] =
    "Failed to automatically reboot the system.\nPlease use Start->ShutDown to reboot manually";

class RestartTest : public WizardTest {
 protected:
  void TearDown() override {
    EXPECT_EQ(sim::openTokenCount(), 0);
    WizardTest::TearDown();
  }
};

}  // namespace

TEST_F(RestartTest, RestartNowSaysYesAndEveryOtherWayOutSaysNo) {
  pressOn("AskRestart", IDOK);
  EXPECT_TRUE(askRestart());
  pressOn("AskRestart", IDCANCEL);
  EXPECT_FALSE(askRestart());
  onDialog("AskRestart", [](HWND) { sim::pressKey(VK_ESCAPE); });
  EXPECT_FALSE(askRestart());
  onDialog("AskRestart", [](HWND notice) { sim::clickCloseBox(notice); });
  EXPECT_FALSE(askRestart());
  // A question that could not be shown was never answered.
  sim::failDialogCreation("AskRestart");
  EXPECT_FALSE(askRestart());
  EXPECT_TRUE(sim::messageBoxes().empty());
  EXPECT_TRUE(sim::restartRequests().empty());
}

TEST_F(RestartTest, OnNtTheShutdownPrivilegeIsEnabledBeforeTheRestart) {
  restartWindows();
  EXPECT_TRUE(sim::shutdownPrivilegeEnabled());
  ASSERT_EQ(sim::restartRequests().size(), 1u);
  EXPECT_EQ(sim::restartRequests()[0].flags, static_cast<UINT>(EWX_REBOOT));
  EXPECT_EQ(sim::restartRequests()[0].reason, 0u);
  EXPECT_TRUE(sim::restartRequests()[0].granted);
  EXPECT_TRUE(sim::messageBoxes().empty());
}

TEST_F(RestartTest, AUserWithoutTheShutdownRightIsToldToRestartByHand) {
  sim::setUserHoldsShutdownRight(false);
  sim::answerNextMessageBox(IDOK);
  restartWindows();
  ASSERT_EQ(sim::restartRequests().size(), 1u);
  EXPECT_FALSE(sim::restartRequests()[0].granted);
  ASSERT_EQ(boxTexts(), std::vector<std::string>{kManualRestart});
  // The title window is gone by the time the program restarts.
  EXPECT_EQ(sim::messageBoxes()[0].owner, nullptr);
  EXPECT_EQ(sim::messageBoxes()[0].caption, kCaption);
}

TEST_F(RestartTest, APrivilegeThatCannotBeLookedUpOrATokenThatCannotBeOpenedStillTriesTheRestart) {
  sim::setPrivilegeLookupFails(true);
  sim::answerNextMessageBox(IDOK);
  restartWindows();
  sim::setPrivilegeLookupFails(false);
  sim::setProcessTokenOpenFails(true);
  sim::answerNextMessageBox(IDOK);
  restartWindows();
  ASSERT_EQ(sim::restartRequests().size(), 2u);
  EXPECT_EQ(boxTexts(), std::vector<std::string>(2, kManualRestart));
}

TEST_F(RestartTest, Windows9xRestartsWithoutTokensAndARefusalIsReported) {
  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  restartWindows();
  ASSERT_EQ(sim::restartRequests().size(), 1u);
  EXPECT_TRUE(sim::restartRequests()[0].granted);
  sim::setRestartVetoed(true);
  sim::answerNextMessageBox(IDOK);
  restartWindows();
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kManualRestart});
}

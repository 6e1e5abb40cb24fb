// The wizard's page order, its checks of the machine, and what each outcome
// of the License and Installing steps leads to, with a scripted user.
#include "pages/installing_page.h"
#include "setup/wizard.h"
#include "wizard_flow_fixture.h"

namespace {

constexpr char kCorrupt[] = "The setup file is corrupt";
constexpr char kCancelQuestion[] =
    "The Velk Modular setup is not complete.\nAre you sure you want to cancel the setup process?";
constexpr char kSlowProcessor[] =
    "The Velk Modular is optimized to run on Pentium II, Celeron\nor compatible. The program's performance will be "
    "degraded.";

class WizardSequenceTest : public WizardFlowTest {
 protected:
  void SetUp() override {
    WizardFlowTest::SetUp();
    verifyForFamily();
  }
};

using Pages = std::vector<std::string>;

// The user presses Cancel on the Installing dialog the first time the
// installation's pump finds the queue empty, and answers the question.
void cancelDuringInstallation(int answer) {
  sim::atEmptyPoll(1, [answer] {
    HWND installing = sim::activeDialog();
    ASSERT_EQ(sim::dialogTemplate(installing), "Installing");
    sim::answerNextMessageBox(answer);
    EXPECT_TRUE(sim::clickButton(installing, IDCANCEL));
  });
}

}  // namespace

TEST_F(WizardSequenceTest, PagesComeInOrderWithBackAndExitAskedFirst) {
  pressOn("Welcome", IDOK);
  pressOn("License", IDC_BACK);
  pressOn("Welcome", IDOK);
  pressOn("License", IDOK);
  pressOn("Customize", IDOK);
  pressOn("Directory", IDC_BACK);
  pressOn("Customize", IDOK);
  pressOn("Directory", IDOK);
  onDialog("AboutToInstall", [](HWND page) {
    sim::answerNextMessageBox(IDNO);
    sim::clickButton(page, IDCANCEL);
  });
  leaveFrom("AboutToInstall");
  EXPECT_EQ(runWizard(), 0);
  EXPECT_EQ(sim::dialogHistory(), (Pages{"Welcome", "License", "Welcome", "License", "Customize", "Directory",
                                         "Customize", "Directory", "AboutToInstall"}));
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{kLeaveQuestion, kLeaveQuestion}));
}

TEST_F(WizardSequenceTest, APageThatCannotBeShownIsAnInternalErrorNotANext) {
  const std::vector<std::string> pages = {"Welcome", "NeedAdmin", "License", "Customize", "Directory",
                                          "AboutToInstall"};
  for (const std::string& failing : pages) {
    auto runUpTo = [&] {
      // Without the rights, so that NeedAdmin shows after Welcome.
      sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager");
      for (const std::string& page : pages) {
        if (page == failing) break;
        pressOn(page, IDOK);
      }
      sim::failDialogCreation(failing);
      sim::answerNextMessageBox(IDOK);
      runWizard();
    };
    EXPECT_EXIT(runUpTo(), ::testing::ExitedWithCode(1), "Internal error") << failing;
  }
}

TEST_F(WizardSequenceTest, TheLicencePageShowsTheDecodedTextWithTheFocusInIt) {
  int blocksOnFirstVisit = 0;
  pressOn("Welcome", IDOK);
  onDialog("License", [&](HWND page) {
    EXPECT_EQ(sim::controlText(page, IDC_LICENSE_TEXT), kLicenseText);
    EXPECT_EQ(sim::focusedControlId(page), IDC_LICENSE_TEXT);
    EXPECT_EQ(sim::findWindowRecord(page)->text, kCaption);
    blocksOnFirstVisit = sim::liveHeapBlocks();
    sim::clickButton(page, IDC_BACK);
  });
  pressOn("Welcome", IDOK);
  onDialog("License", [&](HWND page) {
    // Decoded afresh, and the text's block given back each time.
    EXPECT_EQ(sim::controlText(page, IDC_LICENSE_TEXT), kLicenseText);
    EXPECT_EQ(sim::liveHeapBlocks(), blocksOnFirstVisit);
    // Enter in the text is the default button's: "I Do Not Accept".
    sim::answerNextMessageBox(IDNO);
    sim::pressKey(VK_RETURN);
  });
  leaveFrom("License");
  EXPECT_EQ(runWizard(), 0);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{kLeaveQuestion, kLeaveQuestion}));
}

TEST_F(WizardSequenceTest, ALicenceThatCannotBeDecodedEndsTheSetupWithoutTheLeaveQuestion) {
  sim::removeResource(kPayloadResourceType, 1002);
  pressOn("Welcome", IDOK);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runWizard(), 0);
  ASSERT_EQ(boxTexts(), std::vector<std::string>{kCorrupt});
  EXPECT_EQ(sim::messageBoxes()[0].owner, setupContext.titleWindow);
  // The page was made, but ended before it could show.
  EXPECT_EQ(sim::dialogHistory(), (Pages{"Welcome", "License"}));
}

TEST_F(WizardSequenceTest, WithoutAProcessorUnitTheNoticeEndsTheSetupBeforeAnyPage) {
  sim::setProcessorFeatures(0);
  pressOn("NoFPU", IDCANCEL);
  EXPECT_EQ(runWizard(), 0);
  EXPECT_EQ(sim::dialogHistory(), Pages{"NoFPU"});
}

TEST_F(WizardSequenceTest, AProcessorWithoutConditionalMovesIsWarnedOnceBeforeWelcome) {
  sim::setProcessorFeatures(1);
  sim::answerNextMessageBox(IDOK);
  leaveFrom("Welcome");
  EXPECT_EQ(runWizard(), 0);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{kSlowProcessor, kLeaveQuestion}));
}

TEST_F(WizardSequenceTest, TooLittleSpaceOnTheWindowsDriveEndsTheSetupAfterWelcome) {
  sim::setFreeBytes('C', 80 * 1024);
  pressOn("Welcome", IDOK);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runWizard(), 0);
  // The 16-bit driver's one file takes a cluster: 32768 + 51200 bytes.
  EXPECT_EQ(boxTexts(), std::vector<std::string>{"You don't have enough free space on your Windows (C:\\) drive.\n"
                                                 "At least 82 K is required."});
  EXPECT_EQ(sim::dialogHistory(), Pages{"Welcome"});
}

TEST_F(WizardSequenceTest, NeedAdminIsAskedOnceAndContinueKeepsThePipeDriverOffForGood) {
  sim::refuseFullAccess(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager");
  pressOn("Welcome", IDOK);
  pressOn("NeedAdmin", IDOK);
  pressOn("License", IDC_BACK);
  pressOn("Welcome", IDOK);
  pressOn("License", IDOK);
  onDialog("Customize", [](HWND page) {
    EXPECT_EQ(IsDlgButtonChecked(page, IDC_CHECK_PIPE_DRIVER), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_CHECK_PIPE_DRIVER)));
    sim::clickButton(page, IDOK);
  });
  pressOn("Directory", IDC_BACK);
  onDialog("Customize", [](HWND page) {
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_CHECK_PIPE_DRIVER)));
    sim::clickButton(page, IDOK);
  });
  pressOn("Directory", IDOK);
  onDialog("AboutToInstall", [](HWND page) {
    EXPECT_EQ(sim::controlText(page, IDC_STATE_PIPE_DRIVER), "Don't install");
    sim::answerNextMessageBox(IDYES);
    sim::clickButton(page, IDCANCEL);
  });
  EXPECT_EQ(runWizard(), 0);
  EXPECT_EQ(sim::dialogHistory(), (Pages{"Welcome", "NeedAdmin", "License", "Welcome", "License", "Customize",
                                         "Directory", "Customize", "Directory", "AboutToInstall"}));
}

TEST_F(WizardSequenceTest, ACompletedInstallationEndsTheWizardWithOne) {
  walkToSummary();
  pressOn("AboutToInstall", IDOK);
  EXPECT_EQ(runWizard(), 1);
  EXPECT_TRUE(sim::fileExists(std::string(kTarget) + "\\vm.exe"));
  EXPECT_TRUE(sim::fileExists(std::string(kTarget) + "\\_vmunins.dat"));
  // The pipe driver's registration waits for a restart.
  EXPECT_EQ(installOptions.restartNeeded, 1);
  EXPECT_EQ(sim::dialogHistory().back(), "Installing");
  EXPECT_TRUE(sim::messageBoxes().empty());
}

TEST_F(WizardSequenceTest, ACancelledInstallationReturnsToTheSummaryAndTheLicenceStillReads) {
  walkToSummary();
  // The installation's first poll finds the user pressing Cancel, and Yes.
  onDialog("AboutToInstall", [](HWND page) {
    cancelDuringInstallation(IDYES);
    sim::clickButton(page, IDOK);
  });
  pressOn("AboutToInstall", IDC_BACK);
  pressOn("Directory", IDC_BACK);
  pressOn("Customize", IDC_BACK);
  onDialog("License", [](HWND page) {
    // The cancel of the installation is over; it does not stop the licence.
    EXPECT_EQ(sim::controlText(page, IDC_LICENSE_TEXT), kLicenseText);
    sim::answerNextMessageBox(IDYES);
    sim::clickButton(page, IDCANCEL);
  });
  EXPECT_EQ(runWizard(), 0);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{kCancelQuestion, kLeaveQuestion}));
  // Rolled back: nothing of the installation is left in the folder.
  EXPECT_FALSE(sim::fileExists(std::string(kTarget) + "\\vm.exe"));
  EXPECT_EQ(installOptions.restartNeeded, 0);
}

TEST_F(WizardSequenceTest, ACancelNotConfirmedLetsTheInstallationComplete) {
  walkToSummary();
  onDialog("AboutToInstall", [](HWND page) {
    cancelDuringInstallation(IDNO);
    sim::clickButton(page, IDOK);
  });
  EXPECT_EQ(runWizard(), 1);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kCancelQuestion});
}

TEST_F(WizardSequenceTest, AFailedInstallationReturnsToTheSummaryUnlessARestartIsPending) {
  // Another program holds the file the installation must replace.
  ASSERT_TRUE(CreateDirectoryA("C:\\Program Files", nullptr) && CreateDirectoryA(kTarget, nullptr));
  ASSERT_TRUE(sim::writeFile(std::string(kTarget) + "\\vm.exe", "an older vm.exe"));
  sim::lockFile(std::string(kTarget) + "\\vm.exe");
  walkToSummary();
  onDialog("AboutToInstall", [](HWND page) {
    sim::answerNextMessageBox(IDOK);
    sim::clickButton(page, IDOK);
  });
  // Back on the summary; now something waits for a restart already.
  onDialog("AboutToInstall", [](HWND page) {
    installOptions.restartNeeded = 1;
    sim::answerNextMessageBox(IDOK);
    sim::clickButton(page, IDOK);
  });
  EXPECT_EQ(runWizard(), 0);
  EXPECT_EQ(sim::dialogHistory(), (Pages{"Welcome", "License", "Customize", "Directory", "AboutToInstall",
                                         "Installing", "AboutToInstall", "Installing"}));
  EXPECT_EQ(sim::messageBoxes().size(), 2u);
}

TEST_F(WizardSequenceTest, ACorruptEntryFoundDuringTheInstallationEndsTheSetup) {
  // Sound at start-up, gone by the time it is installed.
  sim::removeResource(kPayloadResourceType, 500);
  walkToSummary();
  onDialog("AboutToInstall", [](HWND page) {
    sim::answerNextMessageBox(IDOK);
    sim::clickButton(page, IDOK);
  });
  EXPECT_EQ(runWizard(), 0);
  EXPECT_EQ(sim::dialogHistory().back(), "Installing");
}

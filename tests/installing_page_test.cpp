// The Installing page: its dialog, the cancel question by button, Enter or
// Esc, and how the installation's outcome becomes the step's result.
#include "pages/installing_page.h"
#include "extract/progress.h"
#include "wizard_flow_fixture.h"

namespace {

constexpr char kCancelQuestion[] =
    "The Velk Modular setup is not complete.\nAre you sure you want to cancel the setup process?";

class InstallingPageTest : public WizardFlowTest {
 protected:
  void SetUp() override {
    WizardFlowTest::SetUp();
    verifyForFamily();
    progressTotal = 0;
  }
};

// The user presses `key` on the Installing dialog when the installation
// first polls its queue, and answers the question.
void keyDuringInstallation(int key, int answer) {
  sim::atEmptyPoll(1, [key, answer] {
    ASSERT_EQ(sim::dialogTemplate(sim::activeDialog()), "Installing");
    sim::answerNextMessageBox(answer);
    sim::pressKey(key);
  });
}

}  // namespace

TEST_F(InstallingPageTest, TheDialogStartsWithAnEmptyBarTheCaptionAndTheCentre) {
  cancelRequested = 1;
  lastPercent = 40;
  HWND dialog = nullptr;
  RECT rect = {};
  sim::ProgressBarState bar = {-1, -1, -1};
  bool visible = false;
  sim::atEmptyPoll(1, [&] {
    dialog = sim::activeDialog();
    visible = IsWindowVisible(dialog);
    GetWindowRect(dialog, &rect);
    sim::progressBarState(GetDlgItem(dialog, IDC_PROGRESS), &bar);
    EXPECT_EQ(cancelRequested, 0);
    EXPECT_EQ(lastPercent, 0);
    EXPECT_EQ(sim::findWindowRecord(dialog)->text, kCaption);
    EXPECT_EQ(sim::controlIcon(GetDlgItem(dialog, 0xFFFF)), "VM");
  });
  EXPECT_EQ(runInstallingPage(), kInstallCompleted);
  EXPECT_TRUE(visible);
  // 216 x 76 dialog units: 324 x 124 pixels.
  EXPECT_EQ(rect.left, (1024 - 324) / 2);
  EXPECT_EQ(rect.top, (768 - 124) / 2);
  EXPECT_EQ(bar.low, 0);
  EXPECT_EQ(bar.high, 100);
  EXPECT_EQ(bar.position, 0);
  // Hidden and destroyed, though the channel keeps its handle.
  EXPECT_EQ(installingDialog, dialog);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(InstallingPageTest, EnterAndEscAskTheCancelQuestionAndNoChangesNothing) {
  keyDuringInstallation(VK_RETURN, IDNO);
  sim::atEmptyPoll(1, [] {
    sim::answerNextMessageBox(IDNO);
    sim::pressKey(VK_ESCAPE);
  });
  EXPECT_EQ(runInstallingPage(), kInstallCompleted);
  EXPECT_EQ(boxTexts(), std::vector<std::string>(2, kCancelQuestion));
  for (const sim::MessageBoxRecord& box : sim::messageBoxes()) {
    EXPECT_EQ(box.owner, installingDialog);
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_YESNO));
  }
  EXPECT_TRUE(sim::fileExists(std::string(kTarget) + "\\vm.exe"));
}

TEST_F(InstallingPageTest, AConfirmedCancelIsTheResultWhateverTheInstallationSays) {
  keyDuringInstallation(VK_ESCAPE, IDYES);
  EXPECT_EQ(runInstallingPage(), kInstallCancelled);
  EXPECT_EQ(cancelRequested, 1);
  EXPECT_FALSE(sim::fileExists(std::string(kTarget) + "\\vm.exe"));
}

TEST_F(InstallingPageTest, ADamagedEntryIsTheCorruptResultAndAnyOtherFailureTheFailedOne) {
  sim::removeResource(kPayloadResourceType, 300);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runInstallingPage(), kInstallCorrupt);
  installSamplePayload();
  // The target folder cannot be made on a drive that is not there.
  strcpy(installOptions.targetFolder, "Q:\\Velk Modular");
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(runInstallingPage(), kInstallFailed);
  EXPECT_EQ(sim::messageBoxes().size(), 2u);
}

TEST_F(InstallingPageTest, ADialogThatCannotBeMadeIsAnInternalErrorReportedWithLine1044) {
  sim::failDialogCreation("Installing");
  EXPECT_EXIT(
      {
        sim::answerNextMessageBox(IDOK);
        runInstallingPage();
      },
      ::testing::ExitedWithCode(1), "Internal error\\] File 10\nLine 1044");
}

// The frame every dialog shares, and the notices: caption, centring, the
// standard buttons and the leave question, the button-face colours, and how
// each notice ends.
#include "pages/dialog_frame.h"
#include "pages/notices.h"
#include "pages/welcome_page.h"
#include "wizard_fixture.h"

namespace {

class DialogFrameTest : public WizardTest {};

RECT windowRect(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  return rect;
}

}  // namespace

TEST_F(DialogFrameTest, APageShowsTheSetupCaptionCentredOnTheWholeScreen) {
  RECT seen = {};
  std::string caption;
  onDialog("License", [&](HWND page) {
    seen = windowRect(page);
    caption = sim::findWindowRecord(page)->text;
    EXPECT_FALSE(IsWindowEnabled(setupContext.titleWindow));
    sim::clickButton(page, IDOK);
  });
  // The License template's own title gives way to the caption.
  EXPECT_EQ(runModalDialog("License", commonDialogProc), kPageNext);
  EXPECT_EQ(caption, kCaption);
  // 299 x 172 dialog units are 449 x 280 pixels on the 1024 x 768 screen.
  EXPECT_EQ(seen.left, (1024 - 449) / 2);
  EXPECT_EQ(seen.top, (768 - 280) / 2);
  EXPECT_EQ(seen.right - seen.left, 449);
  EXPECT_TRUE(IsWindowEnabled(setupContext.titleWindow));
  ASSERT_EQ(sim::dialogHistory().size(), 1u);
}

TEST_F(DialogFrameTest, ADialogLargerThanTheScreenSticksOutEquallyOnBothSides) {
  sim::setScreen(300, 201);
  RECT seen = {};
  onDialog("Welcome", [&](HWND page) {
    seen = windowRect(page);
    sim::clickButton(page, IDOK);
  });
  runModalDialog("Welcome", welcomeDialogProc);
  // 407 x 132 pixels: (300 - 407) / 2 truncates toward zero to -53.
  EXPECT_EQ(seen.left, -53);
  EXPECT_EQ(seen.top, 34);
}

TEST_F(DialogFrameTest, TheLeaveQuestionKeepsThePageOnNoAndEndsItOnYes) {
  HWND welcome = nullptr;
  onDialog("Welcome", [&](HWND page) {
    welcome = page;
    sim::answerNextMessageBox(IDNO);
    sim::clickButton(page, IDCANCEL);
  });
  // Escape and the close box ask the same question.
  onDialog("Welcome", [](HWND) {
    sim::answerNextMessageBox(IDNO);
    sim::pressKey(VK_ESCAPE);
  });
  onDialog("Welcome", [](HWND page) {
    sim::answerNextMessageBox(IDYES);
    sim::clickCloseBox(page);
  });
  EXPECT_EQ(runModalDialog("Welcome", welcomeDialogProc), kPageLeave);
  ASSERT_EQ(sim::messageBoxes().size(), 3u);
  for (const sim::MessageBoxRecord& box : sim::messageBoxes()) {
    EXPECT_EQ(box.text, kLeaveQuestion);
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(box.owner, welcome);
  }
  EXPECT_EQ(sim::dialogHistory().size(), 1u);
}

TEST_F(DialogFrameTest, BackAndNextEndThePageWhateverTheNotificationCode) {
  onDialog("Customize", [](HWND page) { SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_BACK, 5), 0); });
  EXPECT_EQ(runModalDialog("Customize", commonDialogProc), kPageBack);
  onDialog("Welcome", [](HWND page) { sim::clickButton(page, IDOK); });
  EXPECT_EQ(runModalDialog("Welcome", commonDialogProc), kPageNext);
  EXPECT_TRUE(sim::messageBoxes().empty());
}

TEST_F(DialogFrameTest, TextsAndButtonsStandOnTheButtonFaceButEditFieldsAreLeftAlone) {
  HWND page = CreateDialogParamA(nullptr, "License", setupContext.titleWindow, commonDialogProc, 0);
  HDC dc = GetDC(page);
  for (UINT message : {WM_CTLCOLORSTATIC, WM_CTLCOLORBTN, WM_CTLCOLORDLG}) {
    sim::clearDrawCalls();
    INT_PTR brush = commonDialogProc(page, message, reinterpret_cast<WPARAM>(dc), 0);
    EXPECT_EQ(brush, reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE)));
    ASSERT_EQ(sim::drawCalls().size(), 1u);
    EXPECT_EQ(sim::drawCalls()[0].function, "SetBkColor");
    EXPECT_EQ(sim::drawCalls()[0].args, std::vector<int64_t>{RGB(192, 192, 192)});
  }
  for (UINT message : {WM_CTLCOLOREDIT, WM_CTLCOLORMSGBOX, WM_CTLCOLORLISTBOX, WM_CTLCOLORSCROLLBAR})
    EXPECT_EQ(commonDialogProc(page, message, reinterpret_cast<WPARAM>(dc), 0), FALSE);
  ReleaseDC(page, dc);
  DestroyWindow(page);
}

TEST_F(DialogFrameTest, ANegativePageResultIsAnInternalErrorReportedWithLine44) {
  HWND page = CreateDialogParamA(nullptr, "Welcome", setupContext.titleWindow, commonDialogProc, 0);
  EXPECT_EXIT(
      {
        sim::answerNextMessageBox(IDOK);
        endPage(page, -1);
      },
      ::testing::ExitedWithCode(1), "Internal error\\] File 10\nLine 44");
}

TEST_F(DialogFrameTest, NoFpuAndAskRestartEndWith2AtOnceByButtonEscapeOrCloseBox) {
  onDialog("NoFPU", [](HWND notice) { sim::clickButton(notice, IDCANCEL); });
  EXPECT_EQ(runModalDialog("NoFPU", noticeDialogProc), kPageLeave);
  onDialog("AskRestart", [](HWND) { sim::pressKey(VK_ESCAPE); });
  EXPECT_EQ(runModalDialog("AskRestart", noticeDialogProc), kPageLeave);
  onDialog("AskRestart", [](HWND notice) { sim::clickCloseBox(notice); });
  EXPECT_EQ(runModalDialog("AskRestart", noticeDialogProc), kPageLeave);
  std::string caption;
  onDialog("AskRestart", [&](HWND notice) {
    caption = sim::findWindowRecord(notice)->text;
    sim::pressKey(VK_RETURN);
  });
  EXPECT_EQ(runModalDialog("AskRestart", noticeDialogProc), kPageNext);
  EXPECT_EQ(caption, kCaption);
  EXPECT_TRUE(sim::messageBoxes().empty());
}

TEST_F(DialogFrameTest, NeedAdminAsksBeforeItsExitAndContinuesOnContinue) {
  onDialog("NeedAdmin", [](HWND notice) {
    sim::answerNextMessageBox(IDNO);
    sim::clickCloseBox(notice);
  });
  pressOn("NeedAdmin", IDOK);
  EXPECT_EQ(runModalDialog("NeedAdmin", needAdminDialogProc), kPageNext);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kLeaveQuestion});
}

TEST_F(DialogFrameTest, TheSplashIsCentredWithAnEmptyCaptionAndIgnoresCommands) {
  HWND splash = CreateDialogParamA(nullptr, "InitSetup", setupContext.titleWindow, initSetupDialogProc, 0);
  ASSERT_NE(splash, nullptr);
  EXPECT_TRUE(IsWindowVisible(splash));
  EXPECT_EQ(sim::findWindowRecord(splash)->text, "");
  RECT rect = windowRect(splash);
  // 117 x 25 dialog units: 176 x 41 pixels.
  EXPECT_EQ(rect.left, (1024 - 176) / 2);
  EXPECT_EQ(rect.top, (768 - 41) / 2);
  EXPECT_EQ(initSetupDialogProc(splash, WM_COMMAND, IDCANCEL, 0), FALSE);
  EXPECT_TRUE(IsWindow(splash));
  HDC dc = GetDC(splash);
  EXPECT_EQ(initSetupDialogProc(splash, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), 0),
            reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE)));
  ReleaseDC(splash, dc);
}

// The sim's dialog manager: dialogs built from the program's real templates,
// modal loops driven by the scripted user, the keyboard interface and the
// controls the pages rely on.
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"
#include "sim_fixture.h"

namespace {

class SimDialogsTest : public SimTest {};

std::vector<UINT> commandsSeen;

// Ends the dialog with the id of any button and records every command.
INT_PTR CALLBACK endingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_COMMAND) return FALSE;
  commandsSeen.push_back(static_cast<UINT>(wParam));
  if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDC_BACK)
    EndDialog(dialog, LOWORD(wParam));
  return TRUE;
}

INT_PTR CALLBACK quietProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

HWND ownerWindow() {
  static bool registered = false;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "Owner";
  if (!registered || sim::findWindowClass("Owner") == nullptr) RegisterClassA(&windowClass);
  registered = true;
  return CreateWindowExA(0, "Owner", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                         nullptr);
}

}  // namespace

TEST_F(SimDialogsTest, TheWelcomeTemplateBuildsItsControlsInTemplateOrder) {
  HWND dialog = CreateDialogParamA(nullptr, "welcome", nullptr, quietProc, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(sim::dialogTemplate(dialog), "welcome");
  const sim::WindowRecord* record = sim::findWindowRecord(dialog);
  EXPECT_EQ(record->className, "#32770");
  EXPECT_TRUE(record->style & DS_CENTER);
  // 271 x 81 dialog units in 6 x 13 pixel base units.
  EXPECT_EQ(record->rect.right - record->rect.left, 407);
  EXPECT_EQ(record->rect.bottom - record->rect.top, 132);
  std::vector<std::string> classes;
  std::vector<int> ids;
  for (HWND window : sim::liveWindows()) {
    const sim::WindowRecord* child = sim::findWindowRecord(window);
    if (child->parent != dialog) continue;
    classes.push_back(child->className);
    ids.push_back(child->id);
  }
  EXPECT_EQ(classes, (std::vector<std::string>{"Static", "Static", "Button", "Button", "Static"}));
  EXPECT_EQ(ids, (std::vector<int>{0xFFFF, 0xFFFF, IDOK, IDCANCEL, 0xFFFF}));
  EXPECT_EQ(sim::controlText(dialog, IDOK), "&Proceed");
  // The focus went to the first tab stop because the procedure returned TRUE.
  EXPECT_EQ(sim::focusedControlId(dialog), IDOK);
  // Not WS_VISIBLE in its template, so a modeless Welcome stays hidden.
  EXPECT_FALSE(IsWindowVisible(dialog));
}

TEST_F(SimDialogsTest, AMissingTemplateOrAScheduledFailureCreatesNoDialog) {
  EXPECT_EQ(DialogBoxParamA(nullptr, "NoSuchPage", nullptr, endingProc, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  sim::failDialogCreation("InitSetup");
  EXPECT_EQ(CreateDialogParamA(nullptr, "InitSetup", nullptr, quietProc, 0), nullptr);
  EXPECT_NE(CreateDialogParamA(nullptr, "InitSetup", nullptr, quietProc, 0), nullptr);
}

TEST_F(SimDialogsTest, AModalDialogDisablesItsOwnerRunsTheScriptAndEndsWithTheResult) {
  HWND owner = ownerWindow();
  commandsSeen.clear();
  bool ownerWasDisabled = false;
  sim::whenIdle([&] {
    HWND dialog = sim::activeDialog();
    ASSERT_EQ(sim::dialogTemplate(dialog), "Customize");
    ownerWasDisabled = !IsWindowEnabled(owner);
    EXPECT_TRUE(sim::clickButton(dialog, IDC_CHECK_SKINS));
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_CHECK_SKINS), static_cast<UINT>(BST_CHECKED));
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    EXPECT_FALSE(sim::clickButton(dialog, IDOK));
    EXPECT_TRUE(sim::clickButton(dialog, IDC_BACK));
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, "Customize", owner, endingProc, 0), IDC_BACK);
  EXPECT_TRUE(ownerWasDisabled);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(commandsSeen, (std::vector<UINT>{MAKEWPARAM(IDC_CHECK_SKINS, BN_CLICKED), IDC_BACK}));
  EXPECT_EQ(sim::activeDialog(), nullptr);
}

TEST_F(SimDialogsTest, EscapeTheCloseBoxAndEnterReachTheDialogAsTheirButtons) {
  commandsSeen.clear();
  // Enter in the licence text goes to the default button, "I Do Not Accept".
  sim::whenIdle([] {
    HWND dialog = sim::activeDialog();
    SetFocus(GetDlgItem(dialog, IDC_LICENSE_TEXT));
    sim::pressKey(VK_RETURN);
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, "License", nullptr, endingProc, 0), IDCANCEL);
  sim::whenIdle([] { sim::pressKey(VK_ESCAPE); });
  EXPECT_EQ(DialogBoxParamA(nullptr, "Welcome", nullptr, endingProc, 0), IDCANCEL);
  sim::whenIdle([] { EXPECT_TRUE(sim::clickCloseBox(sim::activeDialog())); });
  EXPECT_EQ(DialogBoxParamA(nullptr, "Welcome", nullptr, endingProc, 0), IDCANCEL);
  // A focused push button answers Enter itself.
  sim::whenIdle([] {
    SetFocus(GetDlgItem(sim::activeDialog(), IDC_BACK));
    sim::pressKey(VK_RETURN);
  });
  EXPECT_EQ(DialogBoxParamA(nullptr, "AboutToInstall", nullptr, endingProc, 0), IDC_BACK);
  EXPECT_EQ(commandsSeen, (std::vector<UINT>{MAKEWPARAM(IDCANCEL, BN_CLICKED), IDCANCEL,
                                             MAKEWPARAM(IDCANCEL, BN_CLICKED), MAKEWPARAM(IDC_BACK, BN_CLICKED)}));
  // The splash has no system menu, hence no close box.
  HWND splash = CreateDialogParamA(nullptr, "InitSetup", nullptr, quietProc, 0);
  EXPECT_FALSE(sim::clickCloseBox(splash));
}

TEST_F(SimDialogsTest, AnEditFieldKeepsItsLimitForTheUserOnlyAndReportsEveryChange) {
  commandsSeen.clear();
  HWND dialog = CreateDialogParamA(nullptr, "Directory", nullptr, endingProc, 0);
  // Hidden controls cannot be typed into.
  EXPECT_FALSE(sim::replaceText(dialog, IDC_TARGET_FOLDER, "C:\\"));
  ShowWindow(dialog, SW_SHOW);
  SendDlgItemMessageA(dialog, IDC_TARGET_FOLDER, EM_LIMITTEXT, 5, 0);
  EXPECT_EQ(sim::editLimit(GetDlgItem(dialog, IDC_TARGET_FOLDER)), 5u);
  SetDlgItemTextA(dialog, IDC_TARGET_FOLDER, "C:\\Longer");
  EXPECT_EQ(sim::controlText(dialog, IDC_TARGET_FOLDER), "C:\\Longer");
  EXPECT_TRUE(sim::replaceText(dialog, IDC_TARGET_FOLDER, "D:\\Pasted"));
  EXPECT_EQ(sim::controlText(dialog, IDC_TARGET_FOLDER), "D:\\Pa");
  EXPECT_TRUE(sim::replaceText(dialog, IDC_TARGET_FOLDER, "E"));
  EXPECT_TRUE(sim::typeCharacters(dialog, IDC_TARGET_FOLDER, ":\\abcdef"));
  EXPECT_EQ(sim::controlText(dialog, IDC_TARGET_FOLDER), "E:\\ab");
  const UINT change = MAKEWPARAM(IDC_TARGET_FOLDER, EN_CHANGE);
  // WM_SETTEXT, two replacements, then four keys that fit.
  EXPECT_EQ(commandsSeen, std::vector<UINT>(7, change));
  char text[8];
  EXPECT_EQ(GetDlgItemTextA(dialog, IDC_TARGET_FOLDER, text, sizeof text), 5u);
  EXPECT_STREQ(text, "E:\\ab");
  // The read-only licence text takes no typing.
  HWND license = CreateDialogParamA(nullptr, "License", nullptr, quietProc, 0);
  ShowWindow(license, SW_SHOW);
  EXPECT_FALSE(sim::replaceText(license, IDC_LICENSE_TEXT, "mine"));
}

TEST_F(SimDialogsTest, TheProgressBarExistsOnlyOnceTheCommonControlsAreInitialised) {
  EXPECT_EQ(CreateDialogParamA(nullptr, "Installing", nullptr, quietProc, 0), nullptr);
  HMODULE commonControls = LoadLibraryA((sim::systemFolder() + "\\comctl32.dll").c_str());
  typedef void(WINAPI * Initialisation)(void);
  reinterpret_cast<Initialisation>(reinterpret_cast<void*>(GetProcAddress(commonControls, MAKEINTRESOURCEA(17))))();
  HWND dialog = CreateDialogParamA(nullptr, "Installing", nullptr, quietProc, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(sim::controlIcon(GetDlgItem(dialog, 0xFFFF)), "");
  HWND bar = GetDlgItem(dialog, IDC_PROGRESS);
  SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessageA(bar, PBM_SETPOS, 140, 0);
  sim::ProgressBarState progress;
  ASSERT_TRUE(sim::progressBarState(bar, &progress));
  EXPECT_EQ(progress.position, 100);
}

// The Customize page: the boxes follow the selection, the totals and Next
// follow the boxes, and a pipe driver taken away stays away.
#include "pages/components_page.h"
#include "pages/dialog_frame.h"
#include "extract/progress.h"
#include "wizard_fixture.h"

namespace {

const int32_t kCluster = 32768;

class ComponentsPageTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    // Raw bytes and cluster bytes per component; support entries last.
    const ComponentSizes sizes[kComponentCount] = {
        {100000, 4 * kCluster, 10}, {50000, 2 * kCluster, 20}, {1, kCluster, 5},   {70000, 3 * kCluster, 12},
        {40000, 2 * kCluster, 9},   {30000, kCluster, 30},     {5000, 3 * kCluster, 26}};
    for (int i = 0; i < kComponentCount; ++i) componentSizes[i] = sizes[i];
  }

  static INT_PTR run() { return runModalDialog("Customize", customizeDialogProc); }
};

std::vector<UINT> checks(HWND page) {
  std::vector<UINT> states;
  for (int id = IDC_CHECK_PROGRAM; id <= IDC_CHECK_SKINS; ++id) states.push_back(IsDlgButtonChecked(page, id));
  return states;
}

}  // namespace

TEST_F(ComponentsPageTest, OpensWithEveryBoxCheckedTheWholeTotalAndTheFocusOnNext) {
  onDialog("Customize", [](HWND page) {
    EXPECT_EQ(checks(page), std::vector<UINT>(6, BST_CHECKED));
    // 4 + 2 + 1 + 3 + 2 + 1 clusters, and 3 for the support entries.
    EXPECT_EQ(sim::controlText(page, IDC_TOTAL_SIZE), "Total 512 K");
    EXPECT_EQ(sim::controlText(page, IDC_OVERWRITE_WARNING).substr(0, 76),
              "WARNING! If you are installing over the previous installation and have modif");
    EXPECT_EQ(sim::focusedControlId(page), IDOK);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_CHECK_PIPE_DRIVER)));
    sim::pressKey(VK_RETURN);
  });
  EXPECT_EQ(run(), kPageNext);
  EXPECT_EQ(requiredBytes, 16 * kCluster);
  EXPECT_EQ(progressTotal, 100000 + 50000 + 1 + 70000 + 40000 + 30000 + 5000);
}

TEST_F(ComponentsPageTest, EveryClickMovesTheFlagTheTotalsAndNextAtOnce) {
  onDialog("Customize", [](HWND page) {
    for (int id = IDC_CHECK_PROGRAM; id <= IDC_CHECK_SKINS; ++id) {
      if (id != IDC_CHECK_PIPE_DRIVER) sim::clickButton(page, id);
    }
    // Only the pipe driver: its clusters and the support entries'.
    EXPECT_EQ(sim::controlText(page, IDC_TOTAL_SIZE), "Total 192 K");
    EXPECT_EQ(requiredBytes, 6 * kCluster);
    EXPECT_EQ(progressTotal, 75000);
    EXPECT_EQ(installOptions.componentSelected[kComponentProgram], 0);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDOK)));

    // Nothing at all: the support entries do not count, and Next is off.
    sim::clickButton(page, IDC_CHECK_PIPE_DRIVER);
    EXPECT_EQ(sim::controlText(page, IDC_TOTAL_SIZE), "Total 0 K");
    EXPECT_EQ(requiredBytes, 0);
    EXPECT_EQ(progressTotal, 0);
    EXPECT_FALSE(sim::clickButton(page, IDOK));
    // A Next that arrives anyway (Enter on the default button is refused by
    // the system; a command sent by another program is not) keeps the page.
    SendMessageA(page, WM_COMMAND, IDOK, 0);
    sim::clickButton(page, IDC_CHECK_LIBRARY_MODULES);
  });
  onDialog("Customize", [](HWND page) {
    // A one-byte file takes a whole cluster: 32 K of its own plus 96 K.
    EXPECT_EQ(sim::controlText(page, IDC_TOTAL_SIZE), "Total 128 K");
    EXPECT_TRUE(sim::clickButton(page, IDOK));
  });
  EXPECT_EQ(run(), kPageNext);
  EXPECT_EQ(installOptions.componentSelected[kComponentLibraryModules], 1);
  EXPECT_EQ(installOptions.componentSelected[kComponentSkins], 0);
  // The support entries' flag is not the page's to touch.
  EXPECT_EQ(installOptions.componentSelected[kComponentSupport], 1);
}

TEST_F(ComponentsPageTest, BackKeepsTheChoicesForTheNextVisit) {
  onDialog("Customize", [](HWND page) {
    sim::clickButton(page, IDC_CHECK_EXAMPLES);
    sim::clickButton(page, IDC_BACK);
  });
  EXPECT_EQ(run(), kPageBack);
  onDialog("Customize", [](HWND page) {
    EXPECT_EQ(checks(page), (std::vector<UINT>{1, 1, 1, 1, 0, 1}));
    sim::answerNextMessageBox(IDYES);
    sim::clickButton(page, IDCANCEL);
  });
  EXPECT_EQ(run(), kPageLeave);
  EXPECT_EQ(installOptions.componentSelected[kComponentExamples], 0);
}

TEST_F(ComponentsPageTest, APipeDriverTakenAwayShowsClearedAndCannotBeChosen) {
  installOptions.pipeDriverAllowed = 0;
  installOptions.componentSelected[kComponentPipeDriver] = 0;
  onDialog("Customize", [](HWND page) {
    EXPECT_EQ(IsDlgButtonChecked(page, IDC_CHECK_PIPE_DRIVER), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_CHECK_PIPE_DRIVER)));
    EXPECT_FALSE(sim::clickButton(page, IDC_CHECK_PIPE_DRIVER));
    EXPECT_TRUE(sim::clickButton(page, IDC_CHECK_SKINS));
    EXPECT_TRUE(sim::clickButton(page, IDOK));
  });
  EXPECT_EQ(run(), kPageNext);
  EXPECT_EQ(installOptions.componentSelected[kComponentPipeDriver], 0);
  EXPECT_EQ(installOptions.componentSelected[kComponentSkins], 0);
  EXPECT_EQ(requiredBytes, (4 + 2 + 1 + 2 + 3) * kCluster);
}

TEST_F(ComponentsPageTest, TotalsBeyond32BitsStayAtTheLargestFigureInsteadOfWrapping) {
  for (int i = 0; i < kComponentCount; ++i) componentSizes[i] = ComponentSizes{INT32_MAX / 2, INT32_MAX / 2, 1};
  onDialog("Customize", [](HWND page) { sim::clickButton(page, IDC_BACK); });
  run();
  EXPECT_EQ(requiredBytes, INT32_MAX);
  EXPECT_EQ(progressTotal, INT32_MAX);
}

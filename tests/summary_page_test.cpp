// The AboutToInstall page: one row per optional component, the target
// folder, and "&Start >" ready for Enter.
#include "pages/dialog_frame.h"
#include "pages/directory_page.h"
#include "pages/summary_page.h"
#include "wizard_fixture.h"

namespace {

class SummaryPageTest : public WizardTest {
 protected:
  static INT_PTR run() { return runModalDialog("AboutToInstall", aboutToInstallDialogProc); }
};

}  // namespace

TEST_F(SummaryPageTest, ListsEachComponentsStateAndTheFolderAndStartsOnEnter) {
  installOptions.componentSelected[kComponentPipeDriver] = 0;
  installOptions.componentSelected[kComponentSkins] = 0;
  onDialog("AboutToInstall", [](HWND page) {
    std::vector<std::string> rows;
    for (int id = IDC_STATE_PROGRAM; id <= IDC_STATE_SKINS; ++id) rows.push_back(sim::controlText(page, id));
    EXPECT_EQ(rows, (std::vector<std::string>{"Install", "Install", "Install", "Don't install", "Install",
                                              "Don't install"}));
    EXPECT_EQ(sim::controlText(page, IDC_INSTALL_TO), "Install to: C:\\Program Files\\Velk Modular");
    EXPECT_EQ(sim::focusedControlId(page), IDOK);
    sim::pressKey(VK_RETURN);
  });
  EXPECT_EQ(run(), kPageNext);
}

TEST_F(SummaryPageTest, TheLongestFolderTheDirectoryPageLetsThroughIsShownWhole) {
  longestPayloadName = 0;
  std::string folder = "C:\\" + std::string(folderLimit() - 3, 'x');
  snprintf(installOptions.targetFolder, sizeof installOptions.targetFolder, "%s", folder.c_str());
  onDialog("AboutToInstall", [&](HWND page) {
    EXPECT_EQ(sim::controlText(page, IDC_INSTALL_TO), "Install to: " + folder);
    sim::clickButton(page, IDC_BACK);
  });
  EXPECT_EQ(run(), kPageBack);
}

// The Directory page: the folder follows the field, only drive paths pass,
// the free space is shown as K, M or G and weighed against the selection,
// and Browse adds the product's folder.
#include "pages/components_page.h"
#include "pages/dialog_frame.h"
#include "extract/progress.h"
#include "pages/directory_page.h"
#include "wizard_fixture.h"

namespace {

constexpr char kInvalidPath[] =
    "The specified path is invalid.\nPlease specify the path to the folder on one\nof the disk drives such as C:, "
    "D:, etc.";
constexpr char kLowSpace[] = "The target drive does not have enough free space.\nProceed anyway?";
constexpr char kTruncated[] = "The selected path is too long and has been truncated";
const uint64_t kGiB = 1ull << 30;

class DirectoryPageTest : public WizardTest {
 protected:
  void SetUp() override {
    WizardTest::SetUp();
    // 100 K of selection: the program's clusters and the support entries'.
    componentSizes[kComponentProgram] = ComponentSizes{60000, 65536, 10};
    componentSizes[kComponentSupport] = ComponentSizes{100, 32768, 10};
    for (int i = 1; i < kComponentSupport; ++i) installOptions.componentSelected[i] = 0;
    sim::addDrive('D');
  }

  static INT_PTR run() { return runModalDialog("Directory", directoryDialogProc); }
};

void typeAndNext(const std::string& folder) {
  onDialog("Directory", [folder](HWND page) {
    EXPECT_TRUE(sim::replaceText(page, IDC_TARGET_FOLDER, folder));
    sim::clickButton(page, IDOK);
  });
}

}  // namespace

TEST_F(DirectoryPageTest, ShowsTheFolderTheRequirementAndTheDrivesFreeSpace) {
  sim::setFreeBytes('C', 5000 * 1024);
  onDialog("Directory", [](HWND page) {
    EXPECT_EQ(sim::controlText(page, IDC_TARGET_FOLDER), "C:\\Program Files\\Velk Modular");
    EXPECT_EQ(sim::controlText(page, IDC_REQUIRED_SIZE), "96 K");
    EXPECT_EQ(sim::controlText(page, IDC_AVAILABLE_LABEL), "Available on C:");
    EXPECT_EQ(sim::controlText(page, IDC_AVAILABLE_SIZE), "5000 K");
    EXPECT_EQ(sim::editLimit(GetDlgItem(page, IDC_TARGET_FOLDER)), 217u);
    // The folder field is the first tab stop.
    EXPECT_EQ(sim::focusedControlId(page), IDC_TARGET_FOLDER);
    sim::clickButton(page, IDOK);
  });
  EXPECT_EQ(run(), kPageNext);
  EXPECT_EQ(requiredBytes, 98304);
  EXPECT_EQ(progressTotal, 60100);
  EXPECT_EQ(freeBytes, 5000 * 1024);
  EXPECT_TRUE(sim::messageBoxes().empty());
}

TEST_F(DirectoryPageTest, FreeSpaceIsShownInKUpTo10GibInMUpTo1000GibAndInGAbove) {
  const struct {
    uint64_t bytes;
    const char* shown;
    int32_t counted;
  } cases[] = {
      {10 * kGiB, "10485760 K", 0x70000000},
      {10 * kGiB + 4096, "10240 M", 0x70000000},
      {1000 * kGiB, "1024000 M", 0x70000000},
      {1000 * kGiB + 4096, "1000 G", 0x70000000},
      {0x70000000, "1835008 K", 0x70000000},
      {1536 * 1024 + 1000, "1536 K", 1536 * 1024},  // whole clusters only
  };
  for (const auto& example : cases) {
    sim::setFreeBytes('C', example.bytes);
    onDialog("Directory", [&](HWND page) {
      EXPECT_EQ(sim::controlText(page, IDC_AVAILABLE_SIZE), example.shown);
      sim::clickButton(page, IDC_BACK);
    });
    EXPECT_EQ(run(), kPageBack);
    EXPECT_EQ(freeBytes, example.counted) << example.shown;
  }
}

TEST_F(DirectoryPageTest, OnlyDriveRootedFoldersPassNext) {
  for (const char* refused : {"C:", "C:Temp", "\\\\server\\share", "1:\\x", ""}) {
    onDialog("Directory", [refused](HWND page) {
      sim::replaceText(page, IDC_TARGET_FOLDER, refused);
      sim::answerNextMessageBox(IDOK);
      sim::clickButton(page, IDOK);
      // The page stays, with the text as typed.
      EXPECT_EQ(sim::controlText(page, IDC_TARGET_FOLDER), refused);
      EXPECT_EQ(installOptions.targetFolder, std::string(refused));
    });
  }
  typeAndNext("c:/Temp");
  EXPECT_EQ(run(), kPageNext);
  EXPECT_EQ(std::string(installOptions.targetFolder), "c:/Temp");
  EXPECT_EQ(boxTexts(), std::vector<std::string>(5, kInvalidPath));
  for (const sim::MessageBoxRecord& box : sim::messageBoxes()) EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK));
}

TEST_F(DirectoryPageTest, TheDriveIsAskedAgainOnlyWhenItsLetterChanges) {
  sim::setFreeBytes('D', 2 * 1024 * 1024);
  onDialog("Directory", [](HWND page) {
    int queries = sim::freeSpaceQueries();
    sim::typeCharacters(page, IDC_TARGET_FOLDER, "\\More");
    EXPECT_EQ(sim::freeSpaceQueries(), queries);
    sim::replaceText(page, IDC_TARGET_FOLDER, "d");
    EXPECT_EQ(sim::controlText(page, IDC_AVAILABLE_LABEL), "");
    sim::typeCharacters(page, IDC_TARGET_FOLDER, ":\\Synth");
    EXPECT_EQ(sim::controlText(page, IDC_AVAILABLE_LABEL), "Available on D:");
    EXPECT_EQ(sim::controlText(page, IDC_AVAILABLE_SIZE), "2048 K");
    EXPECT_EQ(sim::freeSpaceQueries(), queries + 1);
    // Clearing the field empties both figures.
    sim::replaceText(page, IDC_TARGET_FOLDER, "");
    EXPECT_EQ(sim::controlText(page, IDC_AVAILABLE_LABEL), "");
    EXPECT_EQ(sim::controlText(page, IDC_AVAILABLE_SIZE), "");
    sim::replaceText(page, IDC_TARGET_FOLDER, "D:\\Synth");
    sim::clickButton(page, IDC_BACK);
  });
  EXPECT_EQ(run(), kPageBack);
  // Back keeps what the field held.
  EXPECT_EQ(std::string(installOptions.targetFolder), "D:\\Synth");
}

TEST_F(DirectoryPageTest, TooLittleSpaceAsksFirstAndNoKeepsThePage) {
  sim::setFreeBytes('C', 98304 - 4096);
  onDialog("Directory", [](HWND page) {
    sim::answerNextMessageBox(IDNO);
    sim::clickButton(page, IDOK);
  });
  onDialog("Directory", [](HWND page) {
    sim::answerNextMessageBox(IDYES);
    sim::clickButton(page, IDOK);
  });
  EXPECT_EQ(run(), kPageNext);
  EXPECT_EQ(boxTexts(), (std::vector<std::string>{kLowSpace, kLowSpace}));
  EXPECT_EQ(sim::messageBoxes()[0].flags, static_cast<UINT>(MB_YESNO));

  // Exactly enough needs no question; a drive that cannot be read has none.
  sim::setFreeBytes('C', 98304);
  onDialog("Directory", [](HWND page) { sim::clickButton(page, IDOK); });
  EXPECT_EQ(run(), kPageNext);
  onDialog("Directory", [](HWND page) {
    sim::replaceText(page, IDC_TARGET_FOLDER, "Q:\\Nowhere");
    EXPECT_EQ(sim::controlText(page, IDC_AVAILABLE_SIZE), "0 K");
    sim::answerNextMessageBox(IDYES);
    sim::clickButton(page, IDOK);
  });
  EXPECT_EQ(run(), kPageNext);
  EXPECT_EQ(sim::messageBoxes().size(), 3u);
}

TEST_F(DirectoryPageTest, BrowsingAddsTheProductFolderUnlessItIsThereAlready) {
  HWND directory = nullptr;
  onDialog("Directory", [&](HWND page) {
    directory = page;
    sim::answerNextFolderBrowse("D:\\Apps");
    sim::clickButton(page, IDC_BROWSE);
    EXPECT_EQ(sim::controlText(page, IDC_TARGET_FOLDER), "D:\\Apps\\Velk Modular");
    EXPECT_EQ(sim::controlText(page, IDC_AVAILABLE_LABEL), "Available on D:");
    sim::answerNextFolderBrowse("D:\\Apps\\velk modular");
    sim::clickButton(page, IDC_BROWSE);
    EXPECT_EQ(sim::controlText(page, IDC_TARGET_FOLDER), "D:\\Apps\\velk modular");
    sim::answerNextFolderBrowse("D:\\");
    sim::clickButton(page, IDC_BROWSE);
    EXPECT_EQ(sim::controlText(page, IDC_TARGET_FOLDER), "D:\\Velk Modular");
    // Cancelling leaves the folder as it was.
    sim::cancelNextFolderBrowse();
    sim::clickButton(page, IDC_BROWSE);
    EXPECT_EQ(sim::controlText(page, IDC_TARGET_FOLDER), "D:\\Velk Modular");
    sim::clickButton(page, IDOK);
  });
  EXPECT_EQ(run(), kPageNext);
  EXPECT_EQ(std::string(installOptions.targetFolder), "D:\\Velk Modular");
  ASSERT_EQ(sim::folderBrowses().size(), 4u);
  const sim::FolderBrowseRecord& first = sim::folderBrowses()[0];
  EXPECT_EQ(first.owner, directory);
  EXPECT_EQ(first.title, "Select a folder to install to:");
  EXPECT_EQ(first.flags, static_cast<UINT>(BIF_RETURNONLYFSDIRS));
  EXPECT_TRUE(first.rootIsDesktop);
  EXPECT_FALSE(first.hasCallback);
  EXPECT_EQ(first.displayNameBefore, "C:\\Program Files\\Velk Modular");
  EXPECT_EQ(sim::shellAllocatorReferences(), 0);
  EXPECT_EQ(sim::liveShellBlocks(), 0);
  EXPECT_TRUE(sim::messageBoxes().empty());
}

TEST_F(DirectoryPageTest, AFolderOutsideTheFileSystemKeepsItsNameAndNextRefusesIt) {
  onDialog("Directory", [](HWND page) {
    sim::answerNextFolderBrowseOutsideFileSystem("Control Panel");
    sim::clickButton(page, IDC_BROWSE);
    EXPECT_EQ(sim::controlText(page, IDC_TARGET_FOLDER), "Control Panel");
    sim::answerNextMessageBox(IDOK);
    sim::clickButton(page, IDOK);
    sim::clickButton(page, IDC_BACK);
  });
  EXPECT_EQ(run(), kPageBack);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kInvalidPath});
}

TEST_F(DirectoryPageTest, ABrowsedFolderPastTheLimitIsCutAndTheUserIsTold) {
  longestPayloadName = 200;  // a limit of 58 characters
  std::string deep = "D:\\" + std::string(50, 'a');
  ASSERT_TRUE(sim::folderExists("D:\\") && CreateDirectoryA(deep.c_str(), nullptr));
  onDialog("Directory", [&](HWND page) {
    sim::answerNextFolderBrowse(deep);
    sim::answerNextMessageBox(IDOK);
    sim::clickButton(page, IDC_BROWSE);
    std::string expected = (deep + "\\Velk Modular").substr(0, 58);
    EXPECT_EQ(sim::controlText(page, IDC_TARGET_FOLDER), expected);
    EXPECT_EQ(std::string(installOptions.targetFolder), expected);
    // Typing stops at the limit too.
    sim::typeCharacters(page, IDC_TARGET_FOLDER, "xyz");
    EXPECT_EQ(sim::controlText(page, IDC_TARGET_FOLDER), expected);
    sim::clickButton(page, IDC_BACK);
  });
  EXPECT_EQ(run(), kPageBack);
  EXPECT_EQ(boxTexts(), std::vector<std::string>{kTruncated});
  EXPECT_NE(sim::messageBoxes()[0].owner, nullptr);
}

TEST_F(DirectoryPageTest, TheFolderLimitLeavesRoomForTheLongestNameAndNeverFallsBelowThree) {
  longestPayloadName = 41;
  EXPECT_EQ(folderLimit(), 217);
  longestPayloadName = 255;
  EXPECT_EQ(folderLimit(), 3);
  longestPayloadName = 0;
  EXPECT_EQ(folderLimit(), 258);
  // A folder read from the registry that is too long is cut when the page opens.
  longestPayloadName = 250;
  onDialog("Directory", [](HWND page) {
    EXPECT_EQ(sim::controlText(page, IDC_TARGET_FOLDER), "C:\\Progr");
    sim::clickButton(page, IDC_BACK);
  });
  run();
  EXPECT_EQ(std::string(installOptions.targetFolder), "C:\\Progr");
}

// What the tests of the extraction, the progress channel and the installation
// sequence share: a stand-in for the Installing dialog, the user's cancel
// arriving while the program pumps its messages, and a fresh progress
// channel, uninstall list and target folder for every test.
#ifndef VM_TESTS_INSTALLING_FIXTURE_H
#define VM_TESTS_INSTALLING_FIXTURE_H

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/paths.h"
#include "extract/uninstall_list.h"
#include "install_fixture.h"
#include "payload/catalogue.h"
#include "extract/extraction.h"
#include "payload/file_records.h"
#include "extract/progress.h"
#include "res/resource.h"

// The Installing dialog as the extraction sees it: a window whose items 100
// and 101 are texts and 102 the bar, each child logging what it is sent,
// and which asks the cancel question on IDCANCEL as the Installing page
// does. Its procedure runs only when the program's own pump dispatches.
struct InstallingStandIn {
  std::vector<std::string> copyingTexts;  // item 100, every text set
  std::vector<std::string> targetTexts;   // item 101
  std::vector<int> barPositions;          // item 102, every PBM_SETPOS
  int cancelQuestions = 0;
  std::vector<UINT> otherMessages;  // what else the dialog was dispatched

  static InstallingStandIn& log() {
    static InstallingStandIn theLog;
    return theLog;
  }

  static LRESULT CALLBACK itemProc(HWND item, UINT message, WPARAM wParam, LPARAM lParam) {
    int id = static_cast<int>(GetWindowLongPtrA(item, GWLP_ID));
    if (message == WM_SETTEXT) {
      std::string text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      (id == IDC_COPYING_FILE ? log().copyingTexts : log().targetTexts).push_back(text);
    }
    if (message == PBM_SETPOS && id == IDC_PROGRESS) {
      log().barPositions.push_back(static_cast<int>(wParam));
      return 0;
    }
    return DefWindowProcA(item, message, wParam, lParam);
  }

  static LRESULT CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && (wParam & 0xFFFF) == IDCANCEL) {
      ++log().cancelQuestions;
      if (MessageBoxA(dialog, "Cancel?", setupContext.caption, MB_YESNO) == IDYES) cancelRequested = 1;
      return 0;
    }
    if (message >= WM_USER) log().otherMessages.push_back(message);
    return DefWindowProcA(dialog, message, wParam, lParam);
  }

  // Makes the dialog (hidden, so that nothing asks to be painted) and hands
  // it to the progress channel.
  static HWND create() {
    log() = InstallingStandIn();
    WNDCLASSA dialogClass = {};
    dialogClass.lpfnWndProc = dialogProc;
    dialogClass.lpszClassName = "InstallingStandIn";
    WNDCLASSA itemClass = {};
    itemClass.lpfnWndProc = itemProc;
    itemClass.lpszClassName = "InstallingStandInItem";
    if (RegisterClassA(&dialogClass) == 0 || RegisterClassA(&itemClass) == 0) return nullptr;
    HWND dialog = CreateWindowExA(0, "InstallingStandIn", "Installing", WS_POPUP, 0, 0, 400, 150, nullptr,
                                  nullptr, nullptr, nullptr);
    for (int id : {IDC_COPYING_FILE, IDC_COPYING_TO, IDC_PROGRESS}) {
      CreateWindowExA(0, "InstallingStandInItem", "", WS_CHILD, 0, 0, 300, 16, dialog,
                      reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
    }
    installingDialog = dialog;
    return dialog;
  }
};

// The user presses Cancel while the program pumps its messages for the
// `nth` time from now (every progress call pumps once, finding the queue
// empty, while the clock moves on between calls as InstallingTest lets it),
// and answers the question with `answer`.
inline void pressCancelAtPump(int nth, int answer = IDYES) {
  sim::answerNextMessageBox(answer);
  sim::atEmptyPoll(nth, [] { PostMessageA(installingDialog, WM_COMMAND, IDCANCEL, 0); });
}

struct RecordSeen {
  int32_t kind;
  std::string path;
  bool operator==(const RecordSeen& other) const { return kind == other.kind && path == other.path; }
};

inline std::vector<RecordSeen> recordsOf(const UninstallList& list) {
  std::vector<RecordSeen> records;
  for (const PtrListNode<UninstallRecord>* node = list.records().head(); node != nullptr; node = node->next)
    records.push_back(RecordSeen{node->item->kind, node->item->path});
  return records;
}

inline RecordSeen folder(const std::string& path) { return RecordSeen{kUninstallFolder, path}; }
inline RecordSeen file(const std::string& path) { return RecordSeen{kUninstallFile, path}; }

inline void PrintTo(const RecordSeen& record, std::ostream* out) {
  *out << (record.kind == kUninstallFolder ? "folder " : "file ") << record.path;
}

inline void installEntry(int id, const std::vector<uint8_t>& bytes) {
  sim::addResource(kPayloadResourceType, id, bytes);
}

class InstallingTest : public InstallStepTest {
 protected:
  static constexpr const char* kCaption = "Velk Modular 2.08.004 Setup";

  void SetUp() override {
    InstallStepTest::SetUp();
    snprintf(setupContext.caption, sizeof setupContext.caption, "%s", kCaption);
    cancelRequested = 0;
    writeFailed = 0;
    bytesWritten = 0;
    progressTotal = 0;
    lastPercent = 0;
    recordWrittenFiles = 1;
    uninstallList.clear();
    unrecordedFiles.clear();
    fileRecords.resize(0);
    // Every reading of the clock finds a pump interval gone by, as on a
    // machine that takes that long between two progress calls, so that
    // every call pumps and a pump's number names the call. progress_test
    // checks the pacing itself on a clock that stands still.
    sim::setClockStepPerReading(kPumpInterval);
    restartProgressPacing();
    dialog_ = InstallingStandIn::create();
    ASSERT_NE(dialog_, nullptr);
  }

  void TearDown() override {
    EXPECT_EQ(sim::openFileCount(), 0) << "a file was left open";
    EXPECT_EQ(sim::loadedResourceCount(), 0) << "a payload entry was not given back";
    uninstallList.clear();
    unrecordedFiles.clear();
    fileRecords.resize(0);
    installingDialog = nullptr;
    InstallStepTest::TearDown();
  }

  // The message boxes shown so far other than the cancel question.
  static std::vector<std::string> messages() {
    std::vector<std::string> texts;
    for (const sim::MessageBoxRecord& box : sim::messageBoxes())
      if (box.text != "Cancel?") texts.push_back(box.text);
    return texts;
  }

  HWND dialog_ = nullptr;
};

#endif  // VM_TESTS_INSTALLING_FIXTURE_H

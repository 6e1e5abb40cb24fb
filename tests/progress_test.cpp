// The progress channel: the bar's position and when it is sent, the message
// pump and the cancel it carries, and how often an extraction calls it.
#include <string>
#include <vector>

#include "installing_fixture.h"
#include "vmpack/entry_builder.h"

namespace {

const UINT kSomeMessage = WM_USER + 5;
const UINT kLaterMessage = WM_USER + 7;

// Another window of the program, such as the title window behind the dialog.
std::vector<UINT>& otherWindowLog() {
  static std::vector<UINT> log;
  return log;
}

LRESULT CALLBACK otherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_USER) otherWindowLog().push_back(message);
  return DefWindowProcA(window, message, wParam, lParam);
}

class ProgressTest : public InstallingTest {
 protected:
  void SetUp() override {
    InstallingTest::SetUp();
    otherWindowLog().clear();
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = otherWindowProc;
    windowClass.lpszClassName = "Other";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    other_ = CreateWindowExA(0, "Other", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other_, nullptr);
  }

  static const std::vector<int>& bar() { return InstallingStandIn::log().barPositions; }

  HWND other_ = nullptr;
};

}  // namespace

TEST_F(ProgressTest, TheBarIsSentTheRoundedPercentageOnlyWhenItChanges) {
  progressTotal = 1000;
  for (int32_t written : {0, 4, 5, 14, 15, 1000}) {
    bytesWritten = written;
    EXPECT_EQ(installProgress(0.5), 1);
  }
  // 0.4 % rounds to 0, which the bar shows already; 0.5 % rounds up.
  EXPECT_EQ(bar(), (std::vector<int>{1, 2, 100}));
  EXPECT_EQ(lastPercent, 100);
}

TEST_F(ProgressTest, NothingToInstallPutsTheBarAt100AtTheFirstCall) {
  EXPECT_EQ(installProgress(0.0), 1);
  EXPECT_EQ(installProgress(0.0), 1);
  EXPECT_EQ(bar(), (std::vector<int>{100}));
}

TEST_F(ProgressTest, AWriteFailureOrAConfirmedCancelStopsTheDecoderAtTheNextCall) {
  writeFailed = 1;
  EXPECT_EQ(installProgress(0.0), 0);
  writeFailed = 0;
  EXPECT_EQ(installProgress(0.0), 1);
  pressCancelAtPump(1);
  EXPECT_EQ(installProgress(0.0), 0);
  EXPECT_EQ(pumpInstallingMessages(), 0);
}

TEST_F(ProgressTest, WithoutALiveDialogTheBarMessageGoesNowhere) {
  DestroyWindow(dialog_);  // the handle is kept, as after the Installing page
  progressTotal = 10;
  bytesWritten = 5;
  EXPECT_EQ(installProgress(0.0), 1);
  EXPECT_EQ(lastPercent, 50);
  installingDialog = nullptr;
  bytesWritten = 10;
  EXPECT_EQ(installProgress(0.0), 1);
  EXPECT_TRUE(bar().empty());
}

TEST_F(ProgressTest, ThePumpDispatchesEveryWindowsMessagesUntilTheCancelIsConfirmedAndKeepsTheRest) {
  sim::answerNextMessageBox(IDYES);
  PostMessageA(dialog_, kSomeMessage, 0, 0);
  PostMessageA(other_, kSomeMessage, 0, 0);
  PostMessageA(dialog_, WM_COMMAND, IDCANCEL, 0);
  PostMessageA(other_, kLaterMessage, 0, 0);
  EXPECT_EQ(pumpInstallingMessages(), 0);
  EXPECT_EQ(InstallingStandIn::log().otherMessages, (std::vector<UINT>{kSomeMessage}));
  EXPECT_EQ(otherWindowLog(), (std::vector<UINT>{kSomeMessage}));
  EXPECT_EQ(cancelRequested, 1);

  // Every later call returns at once and leaves the queue alone.
  EXPECT_EQ(installProgress(0.0), 0);
  EXPECT_EQ(pumpInstallingMessages(), 0);
  MSG left;
  ASSERT_TRUE(PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(left.message, kLaterMessage);
  EXPECT_EQ(otherWindowLog().size(), 1u);
}

TEST_F(ProgressTest, AnEntryOf4096BytesNeverCallsItAndTheBarNeverMovesBackwards) {
  setTargetFolder("C:\\Target");
  ASSERT_TRUE(CreateDirectoryA("C:\\Target", nullptr));
  installEntry(100, makeEntry({}, {{"small.txt", std::string(4096, 's')}}));
  installEntry(101, makeEntry({}, {{"a.bin", std::string(9000, 'a')}, {"b.bin", std::string(1500, 'b')}}));
  installEntry(102, makeEntry({}, {{"c.bin", std::string(8500, 'c')}}));
  progressTotal = 4096 + 10500 + 8500;

  ASSERT_EQ(extractEntry(100, nullptr), kExtractDone);
  EXPECT_EQ(sim::emptyPolls(), 0);
  EXPECT_TRUE(bar().empty());

  // A call after the item that reaches 4096, 8192, ... symbols of each entry.
  ASSERT_EQ(extractEntry(101, nullptr), kExtractDone);
  EXPECT_EQ(sim::emptyPolls(), 2);
  ASSERT_EQ(extractEntry(102, nullptr), kExtractDone);
  EXPECT_EQ(sim::emptyPolls(), 4);
  ASSERT_FALSE(bar().empty());
  for (size_t i = 1; i < bar().size(); ++i) EXPECT_LT(bar()[i - 1], bar()[i]);
  EXPECT_EQ(bytesWritten, progressTotal);
}

TEST_F(ProgressTest, ThePumpRunsAtTheFirstCallThenOncePerIntervalWhileTheBarFollowsEveryCall) {
  sim::setClockStepPerReading(0);
  sim::setTickCount(0xFFFFFFF0u);  // the interval holds across the counter's wrap
  restartProgressPacing();
  progressTotal = 100;
  auto callAt = [](int32_t written) {
    bytesWritten = written;
    return installProgress(0.0);
  };
  int polls = sim::emptyPolls();
  EXPECT_EQ(callAt(10), 1);
  EXPECT_EQ(sim::emptyPolls() - polls, 1) << "the first call pumps";

  // A message waits until the interval has passed; the bar does not.
  PostMessageA(other_, kSomeMessage, 0, 0);
  sim::advanceClock(kPumpInterval - 1);
  EXPECT_EQ(callAt(20), 1);
  EXPECT_EQ(callAt(30), 1);
  EXPECT_TRUE(otherWindowLog().empty());
  EXPECT_EQ(sim::emptyPolls() - polls, 1);
  EXPECT_EQ(bar(), (std::vector<int>{10, 20, 30}));
  sim::advanceClock(1);
  EXPECT_EQ(callAt(40), 1);
  EXPECT_EQ(otherWindowLog(), (std::vector<UINT>{kSomeMessage}));
  EXPECT_EQ(sim::emptyPolls() - polls, 2);

  // A stop already asked for is answered at once, without a look at the queue.
  sim::advanceClock(kPumpInterval);
  writeFailed = 1;
  EXPECT_EQ(callAt(50), 0);
  EXPECT_EQ(sim::emptyPolls() - polls, 2);
  writeFailed = 0;

  // The refused call took no turn: the next one pumps.
  EXPECT_EQ(callAt(60), 1);
  EXPECT_EQ(sim::emptyPolls() - polls, 3);
  EXPECT_EQ(callAt(70), 1);
  EXPECT_EQ(sim::emptyPolls() - polls, 3);
  // The next installation's first call pumps on a clock that stood still.
  restartProgressPacing();
  EXPECT_EQ(callAt(80), 1);
  EXPECT_EQ(sim::emptyPolls() - polls, 4);
}

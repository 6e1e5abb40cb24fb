// The internal-error path and the heap wrappers.
#include <cstdint>

#include "base/fatal.h"
#include "sim_fixture.h"

using FatalErrorTest = SimTest;

namespace {

// Each death test answers the box itself, so the sim sees it as expected.
void failCheckAtLine(int32_t line) {
  sim::answerNextMessageBox(IDOK);
  fatalInternalError(kFatalFileNumber, line);
}

}  // namespace

TEST_F(FatalErrorTest, ShowsOneTaskModalBoxNamingFileAndLineThenExitsWithOne) {
  EXPECT_EXIT(failCheckAtLine(135), ::testing::ExitedWithCode(1),
              "^\\[MessageBox Internal error\\] File 10\nLine 135\n$");
}

TEST_F(FatalErrorTest, BoxHasNoOwnerAndIsTaskModalWithOnlyAnOkButton) {
  // Checked inside the dying process: the record is all the sim knows.
  auto check = [] {
    sim::answerNextMessageBox(IDOK, [] {
      const sim::MessageBoxRecord& box = sim::messageBoxes().back();
      bool ok = box.owner == nullptr && box.flags == (MB_OK | MB_TASKMODAL);
      fputs(ok ? "box-ok\n" : "box-wrong\n", stderr);
      fflush(stderr);
    });
    fatalInternalError(kFatalFileNumber, 7);
  };
  EXPECT_EXIT(check(), ::testing::ExitedWithCode(1), "box-ok");
}

TEST_F(FatalErrorTest, ASecondFailureWhileTheBoxIsOpenEndsAtOnceWithoutAnotherBox) {
  auto nested = [] {
    sim::answerNextMessageBox(IDOK, [] { fatalInternalError(kFatalFileNumber, 99); });
    fatalInternalError(kFatalFileNumber, 42);
  };
  EXPECT_EXIT(nested(), ::testing::ExitedWithCode(1), "^\\[MessageBox Internal error\\] File 10\nLine 42\n$");
}

TEST_F(FatalErrorTest, EnsureReportsTheLineOfTheFailedCheck) {
  auto failing = [] {
    sim::answerNextMessageBox(IDOK);
    ENSURE(1 + 1 == 3);  // the line below names this check
  };
  const int expectedLine = __LINE__ - 2;
  EXPECT_EXIT(failing(), ::testing::ExitedWithCode(1),
              "Line " + std::to_string(expectedLine) + "\n");
}

TEST_F(FatalErrorTest, WithADebuggerTheBreakpointComesAfterTheBox) {
  auto withDebugger = [] {
    sim::setDebuggerAttached(true);
    failCheckAtLine(5);
  };
  EXPECT_EXIT(withDebugger(), ::testing::ExitedWithCode(1),
              "^\\[MessageBox Internal error\\] File 10\nLine 5\n\\[DebugBreak\\]\n$");
}

TEST_F(FatalErrorTest, WithoutIsDebuggerPresentNoBreakpointIsEverRaised) {
  auto oldKernel = [] {
    sim::setDebuggerAttached(true);
    sim::setKernelHasIsDebuggerPresent(false);
    sim::answerNextMessageBox(IDOK, [] { fatalInternalError(kFatalFileNumber, 2); });
    fatalInternalError(kFatalFileNumber, 1);
  };
  EXPECT_EXIT(oldKernel(), ::testing::ExitedWithCode(1), "^\\[MessageBox Internal error\\] File 10\nLine 1\n$");
}

TEST_F(FatalErrorTest, DebuggerQueryReleasesKernelLibraryEachTime) {
  EXPECT_FALSE(debuggerAttached());
  sim::setDebuggerAttached(true);
  EXPECT_TRUE(debuggerAttached());
  sim::setKernelHasIsDebuggerPresent(false);
  EXPECT_FALSE(debuggerAttached());
  EXPECT_EQ(sim::loadedLibraryCount(), 0);
}

TEST_F(FatalErrorTest, AllocationFailureReturnsNullSilentlyAndNullFreeIsIgnored) {
  sim::setHeapLimit(1000);
  EXPECT_EQ(allocateBlock(1001), nullptr);
  EXPECT_EQ(allocateBlock(-1), nullptr);
  void* block = allocateBlock(1000);
  ASSERT_NE(block, nullptr);
  freeBlock(block);
  freeBlock(nullptr);
  EXPECT_EQ(sim::liveHeapBlocks(), 0);
  EXPECT_TRUE(sim::messageBoxes().empty());
}

// The drawing-object guards: ownership, selection counts, and every misuse
// ending in the internal error.
#include <functional>
#include <thread>

#include "base/context.h"
#include "sim_fixture.h"
#include "title/drawing_guards.h"

namespace {

class DrawingGuardsTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    setupContext.mainThreadId = GetCurrentThreadId();
  }
};

// The internal error ends the process after its box, which is answered here.
#define EXPECT_INTERNAL_ERROR(statement)                                             \
  EXPECT_EXIT(                                                                       \
      {                                                                              \
        sim::answerNextMessageBox(IDOK);                                             \
        statement;                                                                   \
      },                                                                             \
      ::testing::ExitedWithCode(1), "Internal error")

int countCalls(const std::string& function) {
  int count = 0;
  for (const sim::DrawCall& call : sim::drawCalls())
    if (call.function == function) ++count;
  return count;
}

HWND makePlainWindow() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "Plain";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "Plain", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 50, nullptr, nullptr, nullptr,
                                nullptr);
  EXPECT_NE(window, nullptr);
  return window;
}

}  // namespace

TEST_F(DrawingGuardsTest, PenIsDeletedAtTheEndOfItsLifeOnceNoLongerSelected) {
  HPEN handle;
  {
    WindowDC dc(nullptr);
    GdiPen pen(PS_SOLID, 3, 0x123456);
    handle = pen.get();
    dc.selectPen(pen);
    dc.selectStockPen(kStockWhitePen);
  }
  const sim::DrawingObjectRecord* pen = sim::findDrawingObject(handle);
  ASSERT_NE(pen, nullptr);
  EXPECT_EQ(pen->penWidth, 3);
  EXPECT_TRUE(pen->deleted);
  EXPECT_FALSE(pen->alive);
  EXPECT_EQ(sim::liveDrawingObjects(), 0);
  EXPECT_EQ(sim::heldDeviceContexts(), 0);
}

TEST_F(DrawingGuardsTest, PenStillSelectedAtTheEndOfItsLifeIsAnInternalError) {
  auto penOutlivedByItsSelection = [] {
    WindowDC dc(nullptr);
    GdiPen pen(PS_SOLID, 1, 0);
    dc.selectPen(pen);
  };  // the pen goes first, while the context still has it selected
  EXPECT_INTERNAL_ERROR(penOutlivedByItsSelection());
}

TEST_F(DrawingGuardsTest, SelectingASecondPenFreesTheFirstForDeletion) {
  WindowDC dc(nullptr);
  GdiPen second(PS_SOLID, 1, 2);
  HPEN firstHandle;
  {
    GdiPen first(PS_SOLID, 1, 1);
    firstHandle = first.get();
    dc.selectPen(first);
    dc.selectPen(second);
  }
  EXPECT_FALSE(sim::findDrawingObject(firstHandle)->alive);
  EXPECT_EQ(sim::findDrawingObject(second.get())->selections, 1);
  dc.selectStockPen(kStockBlackPen);
}

TEST_F(DrawingGuardsTest, StockPenKindsMapToNullBlackAndWhite) {
  WindowDC dc(nullptr);
  dc.selectStockPen(kStockNullPen);
  dc.selectStockPen(kStockBlackPen);
  dc.selectStockPen(kStockWhitePen);
  std::vector<int> asked;
  for (const sim::DrawCall& call : sim::drawCalls())
    if (call.function == "GetStockObject") asked.push_back(static_cast<int>(call.args[0]));
  EXPECT_EQ(asked, (std::vector<int>{NULL_PEN, BLACK_PEN, WHITE_PEN}));
  EXPECT_INTERNAL_ERROR(dc.selectStockPen(3));
  EXPECT_INTERNAL_ERROR(dc.selectStockPen(-1));
}

TEST_F(DrawingGuardsTest, HolderMisuseIsAnInternalError) {
  auto adoptOverHeld = [] {
    GdiObject holder;
    holder.adopt(CreatePen(PS_SOLID, 1, 0));
    holder.adopt(CreatePen(PS_SOLID, 1, 0));
  };
  EXPECT_INTERNAL_ERROR(adoptOverHeld());
  auto getEmpty = [] {
    GdiObject holder;
    holder.get();
  };
  EXPECT_INTERNAL_ERROR(getEmpty());
  auto detachEmpty = [] {
    GdiObject holder;
    holder.detach();
  };
  EXPECT_INTERNAL_ERROR(detachEmpty());
  auto failedCreation = [] {
    sim::failDrawCall("CreatePen");
    GdiPen pen(PS_SOLID, 1, 0);
  };
  EXPECT_INTERNAL_ERROR(failedCreation());
}

TEST_F(DrawingGuardsTest, AdoptingNullLeavesTheHolderEmptyAndDestroyOfEmptyDoesNothing) {
  GdiObject holder;
  holder.adopt(nullptr);
  EXPECT_FALSE(holder.isHeld());
  holder.destroy();
  EXPECT_EQ(countCalls("DeleteObject"), 0);
}

TEST_F(DrawingGuardsTest, DetachHandsTheObjectOverWithoutDeletingIt) {
  HGDIOBJ handle;
  {
    GdiObject holder;
    holder.adoptCreated(CreatePen(PS_SOLID, 1, 0));
    handle = holder.detach();
    EXPECT_FALSE(holder.isHeld());
  }
  EXPECT_EQ(countCalls("DeleteObject"), 0);
  GdiObject newOwner;
  newOwner.adoptCreated(handle);
  newOwner.destroy();
  EXPECT_FALSE(newOwner.isHeld());
  EXPECT_EQ(sim::liveDrawingObjects(), 0);
}

TEST_F(DrawingGuardsTest, FailedDeletionIsAnInternalError) {
  auto destroyFails = [] {
    GdiObject holder;
    holder.adoptCreated(CreatePen(PS_SOLID, 1, 0));
    sim::failDrawCall("DeleteObject");
    holder.destroy();
  };
  EXPECT_INTERNAL_ERROR(destroyFails());
  auto endOfLifeFails = [] {
    GdiPen pen(PS_SOLID, 1, 0);
    sim::failDrawCall("DeleteObject");
  };
  EXPECT_INTERNAL_ERROR(endOfLifeFails());
}

TEST_F(DrawingGuardsTest, AnyOtherThreadIsAnInternalError) {
  auto fromWorker = [](std::function<void()> use) {
    std::thread worker(use);
    worker.join();
  };
  GdiPen pen(PS_SOLID, 1, 0);
  EXPECT_INTERNAL_ERROR(fromWorker([&] { pen.get(); }));
  EXPECT_INTERNAL_ERROR(fromWorker([&] { pen.isHeld(); }));
  EXPECT_INTERNAL_ERROR(fromWorker([] { GdiPen other(PS_SOLID, 1, 0); }));
  EXPECT_INTERNAL_ERROR(fromWorker([] { WindowDC screen(nullptr); }));
  EXPECT_INTERNAL_ERROR(fromWorker([] { GdiObject empty; }));
}

TEST_F(DrawingGuardsTest, WindowDCReleasedEarlyGivesNothingBackAtTheEnd) {
  {
    WindowDC screen(nullptr);
    screen.release();
    EXPECT_FALSE(screen.isHeld());
    screen.release();
  }
  EXPECT_EQ(countCalls("ReleaseDC"), 1);
  EXPECT_EQ(sim::heldDeviceContexts(), 0);
  // A context is given back, never deleted.
  EXPECT_EQ(countCalls("DeleteObject"), 0);
}

TEST_F(DrawingGuardsTest, ContextThatCannotBeHadOrGivenBackIsAnInternalError) {
  auto noContext = [] {
    sim::failDrawCall("GetDC");
    WindowDC screen(nullptr);
  };
  EXPECT_INTERNAL_ERROR(noContext());
  auto releaseRefused = [] {
    WindowDC screen(nullptr);
    sim::failDrawCall("ReleaseDC");
  };
  EXPECT_INTERNAL_ERROR(releaseRefused());
}

TEST_F(DrawingGuardsTest, PaintDCBracketsOnePaintAndNeverDeletesTheContext) {
  HWND window = makePlainWindow();
  sim::clearDrawCalls();
  {
    PaintDC paint(window);
    EXPECT_EQ(paint.paint().hdc, paint.get());
    EXPECT_EQ(paint.paint().rcPaint.right, 100);
  }
  std::vector<std::string> calls;
  for (const sim::DrawCall& call : sim::drawCalls()) calls.push_back(call.function);
  EXPECT_EQ(calls, (std::vector<std::string>{"BeginPaint", "EndPaint"}));
  EXPECT_FALSE(sim::findWindowRecord(window)->updatePending);
  EXPECT_EQ(sim::heldDeviceContexts(), 0);
}

TEST_F(DrawingGuardsTest, PaintDCFailuresAreInternalErrors) {
  EXPECT_INTERNAL_ERROR(PaintDC paint(nullptr));
  auto beginRefused = [] {
    HWND window = makePlainWindow();
    sim::failDrawCall("BeginPaint");
    PaintDC paint(window);
  };
  EXPECT_INTERNAL_ERROR(beginRefused());
  auto endRefused = [] {
    HWND window = makePlainWindow();
    PaintDC paint(window);
    sim::failDrawCall("EndPaint");
  };
  EXPECT_INTERNAL_ERROR(endRefused());
}

TEST_F(DrawingGuardsTest, BorrowedDCLetsGoWithoutGivingTheContextBack) {
  WindowDC screen(nullptr);
  {
    BorrowedDC borrowed(screen.get());
    GdiPen pen(PS_SOLID, 1, 0);
    borrowed.selectPen(pen);
    borrowed.selectStockPen(kStockBlackPen);
  }
  EXPECT_EQ(countCalls("ReleaseDC"), 0);
  EXPECT_TRUE(screen.isHeld());
  auto endsWithPenRecorded = [] {
    WindowDC owner(nullptr);
    GdiPen pen(PS_SOLID, 1, 0);
    BorrowedDC borrowed(owner.get());
    borrowed.selectPen(pen);
  };
  EXPECT_INTERNAL_ERROR(endsWithPenRecorded());
}

// The title window: its creation, its picture as recorded drawing calls, its
// messages, and its end.
#include <cstring>
#include <thread>

#include "base/context.h"
#include "sim_fixture.h"
#include "title/title_window.h"

namespace {

class TitleWindowTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    setupContext = SetupContext();
    setupContext.mainThreadId = GetCurrentThreadId();
    strcpy(setupContext.versionText, "2.08.004");
  }
};

#define EXPECT_INTERNAL_ERROR(statement)                                             \
  EXPECT_EXIT(                                                                       \
      {                                                                              \
        sim::answerNextMessageBox(IDOK);                                             \
        statement;                                                                   \
      },                                                                             \
      ::testing::ExitedWithCode(1), "Internal error")

struct Point {
  int64_t x;
  int64_t y;
  bool operator==(const Point& other) const { return x == other.x && y == other.y; }
};

// One MoveToEx and the LineTo calls that follow it, with the pen they used.
struct Stroke {
  COLORREF colour;
  int width;
  std::vector<Point> points;
};

// The calls of the last paint, from its BeginPaint to its EndPaint.
std::vector<sim::DrawCall> lastPaint() {
  const std::vector<sim::DrawCall>& calls = sim::drawCalls();
  size_t begin = calls.size();
  while (begin > 0 && calls[begin - 1].function != "BeginPaint") --begin;
  EXPECT_GT(begin, 0u) << "nothing was painted";
  std::vector<sim::DrawCall> paint;
  for (size_t i = begin == 0 ? 0 : begin - 1; i < calls.size(); ++i) {
    paint.push_back(calls[i]);
    if (calls[i].function == "EndPaint") break;
  }
  return paint;
}

std::vector<Stroke> strokesOf(const std::vector<sim::DrawCall>& calls) {
  std::vector<Stroke> strokes;
  for (const sim::DrawCall& call : calls) {
    if (call.function != "MoveToEx" && call.function != "LineTo") continue;
    const sim::DrawingObjectRecord* pen = sim::findDrawingObject(call.object);
    if (call.function == "MoveToEx" || strokes.empty())
      strokes.push_back(Stroke{pen ? pen->penColour : CLR_INVALID, pen ? pen->penWidth : 0, {}});
    strokes.back().points.push_back(Point{call.args[0], call.args[1]});
  }
  return strokes;
}

std::vector<Stroke> strokesWithPen(const std::vector<Stroke>& strokes, COLORREF colour, int width) {
  std::vector<Stroke> found;
  for (const Stroke& stroke : strokes)
    if (stroke.colour == colour && stroke.width == width) found.push_back(stroke);
  return found;
}

// The calls as issued; their results may differ, since the window's own
// context remembers what the previous paint left in it.
std::vector<std::string> issued(const std::vector<sim::DrawCall>& calls) {
  std::vector<std::string> lines;
  for (const sim::DrawCall& call : calls) {
    std::string line = sim::describe(call);
    lines.push_back(line.substr(0, line.rfind(" -> ")));
  }
  return lines;
}

const sim::DrawCall* firstCall(const std::string& function) {
  for (const sim::DrawCall& call : sim::drawCalls())
    if (call.function == function) return &call;
  return nullptr;
}

}  // namespace

TEST_F(TitleWindowTest, CreatesAShownFullScreenPopupOfClassTitle) {
  sim::setScreen(640, 480);
  sim::addIconGroup("VM");
  createTitleWindow();
  const sim::WindowRecord* window = sim::findWindowRecord(setupContext.titleWindow);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->className, "Title");
  EXPECT_EQ(window->text, "Velk Modular 2.08.004 Install");
  EXPECT_EQ(window->style, static_cast<DWORD>(WS_POPUP | WS_MAXIMIZE | WS_VISIBLE));
  EXPECT_EQ(window->exStyle, 0u);
  EXPECT_EQ(window->rect.left, 0);
  EXPECT_EQ(window->rect.top, 0);
  EXPECT_EQ(window->rect.right, 640);
  EXPECT_EQ(window->rect.bottom, 480);
  EXPECT_EQ(window->owner, nullptr);
  // Shown and painted at once, not left for a message loop.
  EXPECT_FALSE(window->updatePending);
  EXPECT_NE(firstCall("EndPaint"), nullptr);

  const sim::WindowClassRecord* windowClass = sim::findWindowClass("Title");
  ASSERT_NE(windowClass, nullptr);
  EXPECT_EQ(windowClass->style, static_cast<UINT>(CS_OWNDC));
  EXPECT_EQ(sim::iconName(windowClass->icon), "VM");
  EXPECT_EQ(sim::cursorId(windowClass->cursor), 32512);
  EXPECT_EQ(windowClass->background, nullptr);
  EXPECT_EQ(windowClass->windowExtra, 0);
  destroyTitleWindow();
}

TEST_F(TitleWindowTest, ACloseRequestLeavesTheWindowAndThePageItOwns) {
  createTitleWindow();
  HWND page = CreateWindowExA(0, "Static", "page", WS_POPUP, 0, 0, 10, 10, setupContext.titleWindow, nullptr,
                              nullptr, nullptr);
  SendMessageA(setupContext.titleWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
  SendMessageA(setupContext.titleWindow, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(setupContext.titleWindow));
  EXPECT_TRUE(IsWindow(page));
  DestroyWindow(page);
  destroyTitleWindow();
}

TEST_F(TitleWindowTest, MissingIconStillGivesAWindow) {
  createTitleWindow();
  EXPECT_EQ(sim::findWindowClass("Title")->icon, nullptr);
  EXPECT_TRUE(IsWindow(setupContext.titleWindow));
  destroyTitleWindow();
}

TEST_F(TitleWindowTest, FontIsItalicTimesSizedFromScreenWidthAndResolution) {
  struct Case {
    int width;
    int logPixelsY;
    int64_t height;
  };
  // 30 points at 640 and 48 at 1024; the resolution turns points into pixels.
  for (Case c : {Case{640, 96, -40}, Case{1024, 96, -64}, Case{640, 120, -50}}) {
    sim::reset(root());
    sim::setScreen(c.width, 480, c.logPixelsY);
    createTitleWindow();
    const sim::DrawCall* font = firstCall("CreateFontA");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->args, (std::vector<int64_t>{c.height, 0, 0, 0, 400, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(font->text, "Times New Roman");
    destroyTitleWindow();
  }
  // The screen's context is read and given back before the font is made.
  std::vector<std::string> start;
  for (const sim::DrawCall& call : sim::drawCalls()) {
    start.push_back(call.function);
    if (call.function == "CreateFontA") break;
  }
  EXPECT_EQ(start, (std::vector<std::string>{"GetDC", "GetDeviceCaps", "ReleaseDC", "CreateFontA"}));
  EXPECT_EQ(firstCall("GetDC")->object, nullptr);
  EXPECT_EQ(firstCall("GetDeviceCaps")->args[0], LOGPIXELSY);
}

TEST_F(TitleWindowTest, CurvesLieWhereThePictureWantsThemOn640By480) {
  sim::setScreen(640, 480);
  createTitleWindow();
  std::vector<Stroke> strokes = strokesOf(lastPaint());

  std::vector<Stroke> resonance = strokesWithPen(strokes, 0xFF8050, 1);
  ASSERT_EQ(resonance.size(), 1u);
  const std::vector<Point>& curve = resonance[0].points;
  ASSERT_EQ(curve.size(), 641u);
  EXPECT_EQ(curve.front(), (Point{0, 190}));
  EXPECT_EQ(curve[439], (Point{439, 57}));
  EXPECT_EQ(curve.back(), (Point{640, 428}));
  for (const Point& point : curve) EXPECT_GE(point.y, 57);

  std::vector<Stroke> noise = strokesWithPen(strokes, 0x500000, 1);
  ASSERT_EQ(noise.size(), 1u);
  ASSERT_EQ(noise[0].points.size(), 641u);
  EXPECT_EQ(noise[0].points[0], (Point{0, 359}));
  EXPECT_EQ(noise[0].points[1], (Point{1, 408}));
  EXPECT_EQ(noise[0].points[2], (Point{2, 392}));

  std::vector<Stroke> wave = strokesWithPen(strokes, 0x500000, 2);
  ASSERT_EQ(wave.size(), 20u);
  EXPECT_EQ(wave.front().points, (std::vector<Point>{{-26, -13}, {9, 14}, {62, -57}}));
  EXPECT_EQ(wave.back().points.size(), 3u);
  EXPECT_EQ(wave.back().points.back(), (Point{678, 515}));
  destroyTitleWindow();
}

TEST_F(TitleWindowTest, GradientDrawsEveryRowWithItsOwnPen) {
  sim::setScreen(640, 480);
  createTitleWindow();
  std::vector<sim::DrawCall> paint = lastPaint();
  std::vector<Stroke> rows;
  for (const Stroke& stroke : strokesOf(paint))
    if (stroke.width == 1 && stroke.points.size() == 2 && stroke.points[0].y == stroke.points[1].y)
      rows.push_back(stroke);
  ASSERT_EQ(rows.size(), 480u);
  for (size_t y = 0; y < rows.size(); ++y) {
    EXPECT_EQ(rows[y].points, (std::vector<Point>{{0, int64_t(y)}, {640, int64_t(y)}})) << "row " << y;
  }
  EXPECT_EQ(rows[0].colour, 0x800000u);
  EXPECT_EQ(rows[240].colour, 0xC04040u);
  EXPECT_EQ(rows[479].colour, 0xFF8080u);

  // Per row: make the pen, select it, delete the previous row's, draw.
  std::vector<std::string> firstRows;
  for (size_t i = 1; i < paint.size() && firstRows.size() < 9; ++i) firstRows.push_back(paint[i].function);
  EXPECT_EQ(firstRows, (std::vector<std::string>{"CreatePen", "SelectObject", "MoveToEx", "LineTo", "CreatePen",
                                                 "SelectObject", "DeleteObject", "MoveToEx", "LineTo"}));
  destroyTitleWindow();
}

TEST_F(TitleWindowTest, NoPenIsDeletedWhileSelectedAndNoneOutlivesThePaint) {
  sim::setScreen(320, 200);
  createTitleWindow();
  HGDIOBJ selectedPen = nullptr;
  int deletions = 0;
  for (const sim::DrawCall& call : lastPaint()) {
    const sim::DrawingObjectRecord* object = sim::findDrawingObject(call.object);
    if (call.function == "SelectObject" && object != nullptr && object->kind == "pen") selectedPen = call.object;
    if (call.function == "DeleteObject") {
      ++deletions;
      EXPECT_NE(call.object, selectedPen);
      EXPECT_EQ(call.result, TRUE);
    }
  }
  // 200 row pens, then the three curves' pens.
  EXPECT_EQ(deletions, 203);
  EXPECT_EQ(sim::findDrawingObject(selectedPen)->stockId, BLACK_PEN);
  // Only the title font is left, selected into the window's own context.
  EXPECT_EQ(sim::liveDrawingObjects(), 1);
  EXPECT_EQ(sim::heldDeviceContexts(), 0);
  destroyTitleWindow();
}

TEST_F(TitleWindowTest, TitleIsWhiteWithABlackShadowInTheTitleFont) {
  sim::setScreen(640, 480);
  createTitleWindow();
  HGDIOBJ font = firstCall("CreateFontA")->object;
  std::vector<std::string> text;
  for (const sim::DrawCall& call : lastPaint()) {
    if (call.function == "SelectObject" && call.object == font) text.push_back("font");
    if (call.function == "SetBkMode" || call.function == "SetTextAlign" || call.function == "SetTextColor")
      text.push_back(call.function + " " + std::to_string(call.args[0]));
    if (call.function == "TextOutA") {
      EXPECT_EQ(call.object, font);
      text.push_back("TextOutA " + std::to_string(call.args[0]) + "," + std::to_string(call.args[1]) + " " +
                     call.text);
    }
  }
  EXPECT_EQ(text, (std::vector<std::string>{"font", "SetBkMode 1", "SetTextAlign 0", "SetTextColor 0",
                                            "TextOutA 13,8 Velk Modular 2.08.004",
                                            "SetTextColor 16777215", "TextOutA 10,5 Velk Modular 2.08.004"}));
  destroyTitleWindow();
}

TEST_F(TitleWindowTest, EveryPaintDrawsTheSameCalls) {
  sim::setScreen(200, 150);
  createTitleWindow();
  std::vector<std::string> first = issued(lastPaint());
  InvalidateRect(setupContext.titleWindow, nullptr, TRUE);
  UpdateWindow(setupContext.titleWindow);
  std::vector<std::string> second = issued(lastPaint());
  EXPECT_GT(first.size(), 200u);
  EXPECT_EQ(first, second);
  destroyTitleWindow();
}

TEST_F(TitleWindowTest, PaintsWhenAMessageLoopDispatchesItsPaintMessage) {
  sim::setScreen(100, 80);
  createTitleWindow();
  MSG message;
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  sim::clearDrawCalls();
  InvalidateRect(setupContext.titleWindow, nullptr, TRUE);
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.hwnd, setupContext.titleWindow);
  EXPECT_EQ(message.message, static_cast<UINT>(WM_PAINT));
  DispatchMessageA(&message);
  EXPECT_EQ(strokesOf(lastPaint()).size(), 80u + 1 + 1 + 20);
  // Painting validated the window: nothing more is due.
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  destroyTitleWindow();
}

TEST_F(TitleWindowTest, ZeroSizedClientAreaPaintsNothing) {
  for (int width : {0, 640}) {
    sim::reset(root());
    sim::setScreen(width, width == 0 ? 480 : 0);
    createTitleWindow();
    sim::clearDrawCalls();
    SendMessageA(setupContext.titleWindow, WM_PAINT, 0, 0);
    std::vector<std::string> calls;
    for (const sim::DrawCall& call : sim::drawCalls()) calls.push_back(call.function);
    EXPECT_EQ(calls, (std::vector<std::string>{"BeginPaint", "EndPaint"}));
    destroyTitleWindow();
  }
}

TEST_F(TitleWindowTest, BackgroundCountsAsErasedAndTheWindowCannotMoveOrResize) {
  createTitleWindow();
  HWND window = setupContext.titleWindow;
  EXPECT_EQ(SendMessageA(window, WM_ERASEBKGND, 0, 0), 1);
  WINDOWPOS position = {window, nullptr, 50, 60, 10, 10, SWP_NOZORDER};
  EXPECT_EQ(SendMessageA(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&position)), 0);
  EXPECT_EQ(position.flags, static_cast<UINT>(SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE));
  // Other messages get the default handling: the window's text comes from it.
  char text[64] = "";
  SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, "Velk Modular 2.08.004 Install");
  destroyTitleWindow();
}

TEST_F(TitleWindowTest, DestroyingClosesOwnedWindowsAndLeavesNothingBehind) {
  createTitleWindow();
  WNDCLASSA splashClass = {};
  splashClass.lpfnWndProc = DefWindowProcA;
  splashClass.lpszClassName = "Splash";
  RegisterClassA(&splashClass);
  HWND splash = CreateWindowExA(0, "Splash", "", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50, setupContext.titleWindow,
                                nullptr, nullptr, nullptr);
  ASSERT_EQ(sim::findWindowRecord(splash)->owner, setupContext.titleWindow);
  HWND title = setupContext.titleWindow;
  destroyTitleWindow();
  EXPECT_FALSE(IsWindow(title));
  EXPECT_FALSE(IsWindow(splash));
  EXPECT_EQ(setupContext.titleWindow, nullptr);
  EXPECT_EQ(sim::findWindowClass("Title"), nullptr);
  EXPECT_EQ(sim::liveDrawingObjects(), 0);
  EXPECT_EQ(sim::heldDeviceContexts(), 0);
  // The font goes last, once the window's own context no longer holds it.
  EXPECT_EQ(sim::drawCalls().back().function, "DeleteObject");
  EXPECT_EQ(sim::drawCalls().back().result, TRUE);
}

TEST_F(TitleWindowTest, DrawingFailuresDuringAPaintAreInternalErrors) {
  sim::setScreen(64, 48);
  auto failing = [](const char* function, int nth) {
    createTitleWindow();
    InvalidateRect(setupContext.titleWindow, nullptr, TRUE);
    sim::failDrawCall(function, nth);
    UpdateWindow(setupContext.titleWindow);
  };
  EXPECT_INTERNAL_ERROR(failing("CreatePen", 5));   // a gradient row's pen
  EXPECT_INTERNAL_ERROR(failing("CreatePen", 49));  // the resonance curve's pen
  EXPECT_INTERNAL_ERROR(failing("DeleteObject", 3));
  EXPECT_INTERNAL_ERROR(failing("BeginPaint", 1));
  EXPECT_INTERNAL_ERROR(failing("EndPaint", 1));
  auto screenContextKept = [] {
    sim::failDrawCall("ReleaseDC");
    createTitleWindow();
  };
  EXPECT_INTERNAL_ERROR(screenContextKept());
}

TEST_F(TitleWindowTest, PaintFromAnotherThreadIsAnInternalError) {
  createTitleWindow();
  auto paintFromWorker = [] {
    std::thread worker([] { SendMessageA(setupContext.titleWindow, WM_PAINT, 0, 0); });
    worker.join();
  };
  EXPECT_INTERNAL_ERROR(paintFromWorker());
  destroyTitleWindow();
}

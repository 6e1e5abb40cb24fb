#include "title/title_window.h"

#include <cstdio>
#include <cstring>

#include "base/context.h"
#include "title/drawing_guards.h"
#include "title/title_geometry.h"

namespace {

constexpr char kTitleClassName[] = "Title";
constexpr char kTitleIconName[] = "VM";
constexpr char kTitleFontFace[] = "Times New Roman";
// The picture's title, and the window's own text shown on the taskbar.
constexpr char kTitleTextFormat[] = "Velk Modular %s";
constexpr char kWindowTextFormat[] = "Velk Modular %s Install";

const COLORREF kResonanceColour = 0xFF8050;
const COLORREF kNoiseAndWaveColour = 0x500000;
const COLORREF kTitleShadowColour = 0x000000;
const COLORREF kTitleColour = 0xFFFFFF;
const int kSquareWavePenWidth = 2;
// The shadow lies three pixels right of and below the title.
const TitlePoint kTitleShadowAt = {13, 8};
const TitlePoint kTitleAt = {10, 5};

// Created with the window and deleted after it: the window's own device
// context keeps it selected between paints.
HFONT titleFont = nullptr;

HFONT createTitleFont(int32_t screenWidth) {
  int32_t pointSize = titleFontPointSize(screenWidth);
  // The screen's context is needed only for its vertical resolution and goes
  // back before the font is made.
  WindowDC screen(nullptr);
  int logPixelsY = GetDeviceCaps(screen.get(), LOGPIXELSY);
  screen.release();
  // Negative: the height of the characters, not of their cells.
  return CreateFontA(-MulDiv(pointSize, logPixelsY, 72), 0, 0, 0, FW_NORMAL, TRUE, FALSE, FALSE, ANSI_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                     kTitleFontFace);
}

// One pen per row, made and deleted on every paint. The new row's pen is
// selected before the previous row's is deleted, so no pen is ever deleted
// while selected; `rowPen` stays recorded as the context's pen, emptied,
// until the stock pen goes back in after the last row.
void drawGradient(DeviceContext& dc, int32_t width, int32_t height) {
  GdiPen rowPen;
  GdiPen previousRowPen;
  for (int32_t y = 0; y < height; ++y) {
    rowPen.adoptCreated(CreatePen(PS_SOLID, 1, gradientRowColour(y, height)));
    dc.selectPen(rowPen);
    previousRowPen.destroy();
    previousRowPen.adoptCreated(rowPen.detach());
    MoveToEx(dc.get(), 0, y, nullptr);
    LineTo(dc.get(), width, y);
  }
  dc.selectStockPen(kStockBlackPen);
  previousRowPen.destroy();
}

void drawResonanceCurve(DeviceContext& dc, int32_t width, int32_t height) {
  GdiPen pen(PS_SOLID, 1, kResonanceColour);
  dc.selectPen(pen);
  bool firstPoint = true;
  for (int32_t x = 0; x <= width; ++x) {
    TitlePoint point = resonanceCurvePoint(x, width, height);
    if (firstPoint) {
      MoveToEx(dc.get(), point.x, point.y, nullptr);
      firstPoint = false;
    } else {
      LineTo(dc.get(), point.x, point.y);
    }
  }
  dc.selectStockPen(kStockBlackPen);
}

void drawNoiseLine(DeviceContext& dc, int32_t width, int32_t height) {
  GdiPen pen(PS_SOLID, 1, kNoiseAndWaveColour);
  dc.selectPen(pen);
  uint32_t seed = kNoiseFirstSeed;
  bool firstPoint = true;
  for (int32_t x = 0; x <= width; ++x) {
    seed = nextNoiseSeed(seed);
    TitlePoint point = noiseLinePoint(x, seed, height);
    if (firstPoint) {
      MoveToEx(dc.get(), point.x, point.y, nullptr);
      firstPoint = false;
    } else {
      LineTo(dc.get(), point.x, point.y);
    }
  }
  dc.selectStockPen(kStockBlackPen);
}

void drawSquareWave(DeviceContext& dc, int32_t width, int32_t height) {
  GdiPen pen(PS_SOLID, kSquareWavePenWidth, kNoiseAndWaveColour);
  dc.selectPen(pen);
  SquareWave wave = startSquareWave();
  do {
    SquareWavePass pass = nextSquareWavePass(&wave, width, height);
    MoveToEx(dc.get(), pass.start.x, pass.start.y, nullptr);
    LineTo(dc.get(), pass.along.x, pass.along.y);
    LineTo(dc.get(), pass.across.x, pass.across.y);
  } while (!squareWaveFinished(wave));
  dc.selectStockPen(kStockBlackPen);
}

void drawTitle(DeviceContext& dc) {
  char title[64];
  formatText(title, sizeof title, kTitleTextFormat, setupContext.versionText);
  int length = static_cast<int>(strlen(title));
  SelectObject(dc.get(), titleFont);
  SetBkMode(dc.get(), TRANSPARENT);
  SetTextAlign(dc.get(), TA_LEFT | TA_TOP);
  SetTextColor(dc.get(), kTitleShadowColour);
  TextOutA(dc.get(), kTitleShadowAt.x, kTitleShadowAt.y, title, length);
  SetTextColor(dc.get(), kTitleColour);
  TextOutA(dc.get(), kTitleAt.x, kTitleAt.y, title, length);
}

}  // namespace

void createTitleWindow() {
  int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
  int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
  titleFont = createTitleFont(screenWidth);

  // Neither the registration nor the window is checked: without them the run
  // goes on, its dialogs simply have no owner.
  WNDCLASSA windowClass = {};
  windowClass.style = CS_OWNDC;
  windowClass.lpfnWndProc = titleWindowProc;
  windowClass.hInstance = setupContext.instance;
  windowClass.hIcon = LoadIconA(setupContext.instance, kTitleIconName);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kTitleClassName;
  RegisterClassA(&windowClass);

  char windowText[64];
  formatText(windowText, sizeof windowText, kWindowTextFormat, setupContext.versionText);
  setupContext.titleWindow = CreateWindowExA(0, kTitleClassName, windowText, WS_POPUP | WS_MAXIMIZE, 0, 0,
                                             screenWidth, screenHeight, nullptr, nullptr, setupContext.instance,
                                             nullptr);
  ShowWindow(setupContext.titleWindow, SW_SHOW);
  UpdateWindow(setupContext.titleWindow);
}

void destroyTitleWindow() {
  DestroyWindow(setupContext.titleWindow);
  setupContext.titleWindow = nullptr;
  UnregisterClassA(kTitleClassName, setupContext.instance);
  // Only now: the window's own context held the font until the window went.
  DeleteObject(titleFont);
  titleFont = nullptr;
}

LRESULT CALLBACK titleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PaintDC paint(window);
      paintTitle(window, paint.get());
      return 0;
    }
    case WM_ERASEBKGND:
      // The paint covers every pixel, so the background counts as erased.
      return 1;
    case WM_CLOSE:
      // Everything of the setup is owned by this window: closing it (from
      // the taskbar, by another program) would take the page that runs with
      // it and leave the wizard without a window. A page's own Exit is the
      // way out.
      return 0;
    case WM_WINDOWPOSCHANGING:
      // Never moved or resized; changes of its place in the z-order still happen.
      reinterpret_cast<WINDOWPOS*>(lParam)->flags |= SWP_NOMOVE | SWP_NOSIZE;
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void paintTitle(HWND window, HDC dc) {
  RECT client = {0, 0, 0, 0};
  GetClientRect(window, &client);
  int32_t width = client.right;
  int32_t height = client.bottom;
  if (width < 1 || height < 1) return;

  BorrowedDC borrowed(dc);
  drawGradient(borrowed, width, height);
  drawResonanceCurve(borrowed, width, height);
  drawNoiseLine(borrowed, width, height);
  drawSquareWave(borrowed, width, height);
  drawTitle(borrowed);
}

#include "title/drawing_guards.h"

#include "base/context.h"
#include "base/fatal.h"

namespace {

// Drawing objects belong to the thread that made them; a guard used from any
// other thread means the program is broken, so it stops rather than locks.
void checkGuiThread() { ENSURE(GetCurrentThreadId() == setupContext.mainThreadId); }

}  // namespace

GdiObject::~GdiObject() {
  checkGuiThread();
  if (handle_ != nullptr) ENSURE(DeleteObject(handle_));
}

HGDIOBJ GdiObject::get() const {
  checkGuiThread();
  ENSURE(handle_ != nullptr);
  return handle_;
}

void GdiObject::adopt(HGDIOBJ handle) {
  checkGuiThread();
  ENSURE(handle_ == nullptr);
  handle_ = handle;
}

void GdiObject::adoptCreated(HGDIOBJ handle) {
  checkGuiThread();
  ENSURE(handle != nullptr);
  adopt(handle);
}

HGDIOBJ GdiObject::detach() {
  checkGuiThread();
  ENSURE(handle_ != nullptr);
  HGDIOBJ handle = handle_;
  handle_ = nullptr;
  return handle;
}

void GdiObject::destroy() {
  checkGuiThread();
  if (handle_ == nullptr) return;
  ENSURE(DeleteObject(handle_));
  handle_ = nullptr;
}

bool GdiObject::isHeld() const {
  checkGuiThread();
  return handle_ != nullptr;
}

GdiPen::GdiPen(int style, int width, COLORREF colour) : selectionCount_(0) {
  checkGuiThread();
  adoptCreated(CreatePen(style, width, colour));
}

// Deleting a pen that a context still uses would leave the context drawing
// with a dead object.
GdiPen::~GdiPen() { ENSURE(selectionCount_ == 0); }

void GdiPen::lowerSelectionCount() {
  ENSURE(selectionCount_ > 0);
  --selectionCount_;
}

void DeviceContext::selectPen(GdiPen& pen) {
  HPEN handle = pen.get();
  if (selectedPen_ != nullptr) selectedPen_->lowerSelectionCount();
  selectedPen_ = &pen;
  pen.raiseSelectionCount();
  SelectObject(get(), handle);
}

void DeviceContext::selectStockPen(int32_t kind) {
  ENSURE(kind == kStockNullPen || kind == kStockBlackPen || kind == kStockWhitePen);
  if (selectedPen_ != nullptr) {
    selectedPen_->lowerSelectionCount();
    selectedPen_ = nullptr;
  }
  int stockObject = kind == kStockBlackPen ? BLACK_PEN : kind == kStockWhitePen ? WHITE_PEN : NULL_PEN;
  SelectObject(get(), GetStockObject(stockObject));
}

void DeviceContext::checkNoPenRecorded() const { ENSURE(selectedPen_ == nullptr); }

BorrowedDC::BorrowedDC(HDC dc) {
  checkNoPenRecorded();
  adopt(dc);
}

// The owner gives the context back to the system; this guard only lets go.
BorrowedDC::~BorrowedDC() {
  checkNoPenRecorded();
  detach();
}

PaintDC::PaintDC(HWND window) : window_(window), paint_() {
  checkGuiThread();
  ENSURE(window != nullptr);
  checkNoPenRecorded();
  HDC dc = BeginPaint(window, &paint_);
  ENSURE(dc != nullptr);
  adopt(dc);
}

PaintDC::~PaintDC() {
  checkNoPenRecorded();
  checkGuiThread();
  // Emptied here so that the base class never passes a context to DeleteObject.
  if (handle_ != nullptr) {
    ENSURE(EndPaint(window_, &paint_));
    handle_ = nullptr;
  }
}

WindowDC::WindowDC(HWND window) : window_(window) {
  checkGuiThread();
  checkNoPenRecorded();
  HDC dc = GetDC(window);
  ENSURE(dc != nullptr);
  adopt(dc);
}

WindowDC::~WindowDC() { release(); }

void WindowDC::release() {
  checkNoPenRecorded();
  checkGuiThread();
  if (handle_ != nullptr) {
    ENSURE(ReleaseDC(window_, static_cast<HDC>(handle_)) == 1);
    handle_ = nullptr;
  }
}

// Owning guards around the drawing objects of the title window.
//
// Each guard owns its handle for a fixed scope and gives it back to the
// system at the end of that scope. Pens count through how many device-context
// guards they are selected, so that no pen is deleted while a context still
// uses it. Every operation checks that it runs on the GUI thread and that it
// is used correctly; a failed check is an internal error. The guards have no
// virtual operations: each variant gives its context back in its own
// destructor, before the base class would see the handle.
#ifndef VM_TITLE_DRAWING_GUARDS_H
#define VM_TITLE_DRAWING_GUARDS_H

#include <cstdint>

#include "platform/win32.h"

// A drawing-object handle (pen, font, device context) or none.
class GdiObject {
 public:
  GdiObject() : handle_(nullptr) {}
  // Deletes a held object; DeleteObject must succeed.
  ~GdiObject();

  // The held handle; one must be held.
  HGDIOBJ get() const;
  // Takes ownership; the holder must be empty. A null leaves it empty.
  void adopt(HGDIOBJ handle);
  // Takes ownership of what a creation call returned; a null means the
  // creation failed.
  void adoptCreated(HGDIOBJ handle);
  // Gives the held handle up without deleting the object.
  HGDIOBJ detach();
  // Deletes the held object now; nothing happens when the holder is empty.
  void destroy();
  bool isHeld() const;

  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

 protected:
  HGDIOBJ handle_;
};

class GdiPen : public GdiObject {
 public:
  GdiPen() : selectionCount_(0) {}
  GdiPen(int style, int width, COLORREF colour);
  // The pen must not be selected through any guard any more.
  ~GdiPen();

  HPEN get() const { return static_cast<HPEN>(GdiObject::get()); }
  void raiseSelectionCount() { ++selectionCount_; }
  void lowerSelectionCount();

 private:
  int32_t selectionCount_;
};

// Stock pens that selectStockPen can put back into a context.
enum StockPenKind : int32_t { kStockNullPen = 0, kStockBlackPen = 1, kStockWhitePen = 2 };

// A device context and the pen last selected into it through this guard.
// Only the variants below take and give back contexts.
class DeviceContext : public GdiObject {
 public:
  HDC get() const { return static_cast<HDC>(GdiObject::get()); }
  // Selects the pen, moving the selection count from the pen recorded before.
  void selectPen(GdiPen& pen);
  // Selects a stock pen; the recorded pen is no longer selected.
  void selectStockPen(int32_t kind);

 protected:
  DeviceContext() : selectedPen_(nullptr) {}
  ~DeviceContext() = default;
  // Both ends of a context's use: no pen may be recorded then.
  void checkNoPenRecorded() const;

  GdiPen* selectedPen_;
};

// A context owned by someone else, used for a while.
class BorrowedDC : public DeviceContext {
 public:
  explicit BorrowedDC(HDC dc);
  ~BorrowedDC();
};

// The context of one paint of a window, between BeginPaint and EndPaint.
class PaintDC : public DeviceContext {
 public:
  explicit PaintDC(HWND window);
  ~PaintDC();

  const PAINTSTRUCT& paint() const { return paint_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_;
};

// A context from GetDC (a null window: the whole screen), given back with
// ReleaseDC by release() or at the end of the guard's life.
class WindowDC : public DeviceContext {
 public:
  explicit WindowDC(HWND window);
  ~WindowDC();

  // Gives the context back now; a second call finds none and does nothing.
  void release();

 private:
  HWND window_;
};

#endif  // VM_TITLE_DRAWING_GUARDS_H

// Drawing objects, device contexts and the drawing calls of the simulated
// machine, each call recorded for the tests.
#include <cstdio>
#include <map>

#include "sim/machine.h"
#include "sim/windows.h"

using sim::DrawCall;
using sim::DrawingObjectRecord;
using sim::machine;

namespace {

// Objects and device contexts share one table, as in Windows; a handle is
// kFirstGdiHandle + 4 * index and is never reused within one machine.
const uintptr_t kFirstGdiHandle = 0x800000;

struct DeviceContextState {
  HWND window;         // null: the whole screen
  bool ownedByWindow;  // the one context of a CS_OWNDC window
  bool alive;
  int borrowed;        // GetDC or BeginPaint calls not yet given back
  HGDIOBJ pen;
  HGDIOBJ font;
  int backgroundMode;
  UINT textAlign;
  COLORREF textColour;
  COLORREF backgroundColour;
  POINT position;
};

struct GdiEntry {
  bool isDeviceContext;
  DrawingObjectRecord object;
  DeviceContextState context;
};

struct GdiState {
  std::vector<GdiEntry> entries;
  std::map<int, HGDIOBJ> stock;
  std::vector<DrawCall> calls;
  std::map<std::string, int> failures;  // function -> calls until the failing one
  std::map<HWND, HGDIOBJ> windowContexts;
  std::map<int, HGDIOBJ> systemColourBrushes;

  GdiState() {
    addStock(WHITE_PEN, "pen", RGB(255, 255, 255));
    addStock(BLACK_PEN, "pen", RGB(0, 0, 0));
    addStock(NULL_PEN, "pen", 0);
    addStock(SYSTEM_FONT, "font", 0);
  }

  HGDIOBJ add(const GdiEntry& entry) {
    entries.push_back(entry);
    return reinterpret_cast<HGDIOBJ>(kFirstGdiHandle + 4 * (entries.size() - 1));
  }

  void addStock(int id, const char* kind, COLORREF colour) {
    DrawingObjectRecord object{kind, id, false, true, 0, id == NULL_PEN ? 5 : 0, 1, colour, 0, "System"};
    stock[id] = add(GdiEntry{false, object, DeviceContextState()});
  }
};

GdiState& state() {
  static GdiState theState;
  return theState;
}

sim::ResetHook clearDrawing([] { state() = GdiState(); });

GdiEntry* entryOf(HGDIOBJ handle) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value < kFirstGdiHandle || (value - kFirstGdiHandle) % 4 != 0) return nullptr;
  size_t index = (value - kFirstGdiHandle) / 4;
  return index < state().entries.size() ? &state().entries[index] : nullptr;
}

DrawingObjectRecord* liveObject(HGDIOBJ handle) {
  GdiEntry* entry = entryOf(handle);
  return entry != nullptr && !entry->isDeviceContext && !entry->object.deleted ? &entry->object : nullptr;
}

DeviceContextState* liveContext(HDC dc) {
  GdiEntry* entry = entryOf(dc);
  return entry != nullptr && entry->isDeviceContext && entry->context.alive ? &entry->context : nullptr;
}

void record(const char* function, HDC dc, HGDIOBJ object, std::vector<int64_t> args, intptr_t result,
            const std::string& text = "") {
  state().calls.push_back(DrawCall{function, dc, object, std::move(args), text, result});
}

bool failsNow(const char* function) {
  auto found = state().failures.find(function);
  if (found == state().failures.end()) return false;
  if (--found->second > 0) return false;
  state().failures.erase(found);
  return true;
}

void deselect(HGDIOBJ handle) {
  GdiEntry* entry = entryOf(handle);
  if (entry == nullptr || entry->isDeviceContext) return;
  DrawingObjectRecord& object = entry->object;
  if (object.selections > 0) --object.selections;
  // A deletion that waited for the object to be free takes effect now.
  if (object.deleted && object.selections == 0) object.alive = false;
}

HGDIOBJ newContext(HWND window, bool ownedByWindow) {
  DeviceContextState context{window, ownedByWindow, true, 0, state().stock[BLACK_PEN], state().stock[SYSTEM_FONT],
                             OPAQUE, TA_LEFT | TA_TOP, RGB(0, 0, 0), RGB(255, 255, 255), POINT{0, 0}};
  entryOf(context.pen)->object.selections++;
  entryOf(context.font)->object.selections++;
  return state().add(GdiEntry{true, DrawingObjectRecord(), context});
}

void endContext(DeviceContextState* context) {
  deselect(context->pen);
  deselect(context->font);
  context->pen = context->font = nullptr;
  context->alive = false;
  context->borrowed = 0;
}

// A window's context: its own one for a CS_OWNDC class, else a fresh one.
HDC takeContext(HWND window) {
  const sim::WindowRecord* record = sim::findWindow(window);
  HGDIOBJ handle;
  if (record != nullptr && (record->classStyle & CS_OWNDC)) {
    auto found = state().windowContexts.find(window);
    if (found == state().windowContexts.end())
      found = state().windowContexts.emplace(window, newContext(window, true)).first;
    handle = found->second;
  } else {
    handle = newContext(window, false);
  }
  entryOf(handle)->context.borrowed++;
  return static_cast<HDC>(handle);
}

bool giveContextBack(HDC dc) {
  DeviceContextState* context = liveContext(dc);
  if (context == nullptr || context->borrowed == 0) return false;
  context->borrowed--;
  if (!context->ownedByWindow) endContext(context);
  return true;
}

std::string hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(value));
  return text;
}

std::string objectName(HGDIOBJ handle) {
  GdiEntry* entry = entryOf(handle);
  if (entry == nullptr) return handle == nullptr ? "null" : "unknown";
  if (entry->isDeviceContext) return "dc";
  const DrawingObjectRecord& object = entry->object;
  if (object.stockId >= 0) return "stock " + std::to_string(object.stockId);
  if (object.kind == "pen")
    return "pen " + std::to_string(object.penStyle) + "/" + std::to_string(object.penWidth) + "/" +
           hex(object.penColour);
  return object.kind + " " + object.fontFace + "/" + std::to_string(object.fontHeight);
}

bool returnsHandle(const std::string& function) {
  return function == "GetDC" || function == "BeginPaint" || function == "CreatePen" || function == "CreateFontA" ||
         function == "GetStockObject" || function == "SelectObject";
}

}  // namespace

namespace sim {

const std::vector<DrawCall>& drawCalls() { return state().calls; }

void clearDrawCalls() { state().calls.clear(); }

std::string describe(const DrawCall& call) {
  std::string text = call.function + "(";
  if (call.object != nullptr) text += objectName(call.object);
  for (int64_t arg : call.args) text += (text.back() == '(' ? "" : ", ") + std::to_string(arg);
  if (!call.text.empty()) text += (text.back() == '(' ? "\"" : ", \"") + call.text + "\"";
  text += ")";
  if (returnsHandle(call.function))
    text += call.result != 0 ? " -> handle" : " -> null";
  else
    text += " -> " + std::to_string(call.result);
  return text;
}

const DrawingObjectRecord* findDrawingObject(HGDIOBJ object) {
  GdiEntry* entry = entryOf(object);
  return entry != nullptr && !entry->isDeviceContext ? &entry->object : nullptr;
}

int liveDrawingObjects() {
  int live = 0;
  for (const GdiEntry& entry : state().entries)
    if (!entry.isDeviceContext && entry.object.stockId < 0 && entry.object.alive) ++live;
  return live;
}

int heldDeviceContexts() {
  int held = 0;
  for (const GdiEntry& entry : state().entries)
    if (entry.isDeviceContext && entry.context.alive) held += entry.context.borrowed;
  return held;
}

void failDrawCall(const std::string& function, int nth) { state().failures[function] = nth; }

void forgetWindowDC(HWND window) {
  auto found = state().windowContexts.find(window);
  if (found == state().windowContexts.end()) return;
  endContext(&entryOf(found->second)->context);
  state().windowContexts.erase(found);
}

}  // namespace sim

HDC WINAPI GetDC(HWND window) {
  HDC dc = nullptr;
  if (failsNow("GetDC")) {
  } else if (window != nullptr && sim::findWindow(window) == nullptr) {
    machine().lastError = ERROR_INVALID_WINDOW_HANDLE;
  } else {
    dc = takeContext(window);
  }
  record("GetDC", dc, nullptr, {}, reinterpret_cast<intptr_t>(dc));
  return dc;
}

int WINAPI ReleaseDC(HWND, HDC dc) {
  int released = !failsNow("ReleaseDC") && giveContextBack(dc) ? 1 : 0;
  record("ReleaseDC", dc, nullptr, {}, released);
  return released;
}

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
  sim::WindowRecord* painted = sim::findWindow(window);
  if (failsNow("BeginPaint") || painted == nullptr) {
    if (painted == nullptr) machine().lastError = ERROR_INVALID_WINDOW_HANDLE;
    record("BeginPaint", nullptr, nullptr, {}, 0);
    return nullptr;
  }
  HDC dc = takeContext(window);
  bool eraseDue = painted->erasePending;
  RECT area = painted->updatePending ? sim::clientRectOf(*painted) : RECT{0, 0, 0, 0};
  // Painting validates the whole update region.
  painted->updatePending = painted->erasePending = false;
  record("BeginPaint", dc, nullptr, {area.left, area.top, area.right, area.bottom}, reinterpret_cast<intptr_t>(dc));
  BOOL erased = eraseDue ? static_cast<BOOL>(SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0))
                         : TRUE;
  *paint = PAINTSTRUCT();
  paint->hdc = dc;
  paint->fErase = !erased;
  paint->rcPaint = area;
  return dc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT* paint) {
  BOOL ended = !failsNow("EndPaint");
  if (ended) giveContextBack(paint->hdc);
  record("EndPaint", paint->hdc, nullptr, {}, ended);
  return ended;
}

int WINAPI GetDeviceCaps(HDC dc, int index) {
  int value = 0;
  if (liveContext(dc) != nullptr && index == LOGPIXELSY) value = sim::screen().logPixelsY;
  record("GetDeviceCaps", dc, nullptr, {index}, value);
  return value;
}

HPEN WINAPI CreatePen(int style, int width, COLORREF colour) {
  HGDIOBJ pen = nullptr;
  if (!failsNow("CreatePen")) {
    DrawingObjectRecord object{"pen", -1, false, true, 0, style, width, colour, 0, ""};
    pen = state().add(GdiEntry{false, object, DeviceContextState()});
  }
  record("CreatePen", nullptr, pen, {style, width, colour}, reinterpret_cast<intptr_t>(pen));
  return static_cast<HPEN>(pen);
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                         DWORD quality, DWORD pitchAndFamily, LPCSTR faceName) {
  HGDIOBJ font = nullptr;
  std::string face = faceName != nullptr ? faceName : "";
  if (!failsNow("CreateFontA")) {
    DrawingObjectRecord object{"font", -1, false, true, 0, 0, 0, 0, height, face};
    font = state().add(GdiEntry{false, object, DeviceContextState()});
  }
  record("CreateFontA", nullptr, font,
         {height, width, escapement, orientation, weight, italic, underline, strikeOut, charSet, outPrecision,
          clipPrecision, quality, pitchAndFamily},
         reinterpret_cast<intptr_t>(font), face);
  return static_cast<HFONT>(font);
}

HGDIOBJ WINAPI GetStockObject(int id) {
  auto found = state().stock.find(id);
  HGDIOBJ object = found != state().stock.end() ? found->second : nullptr;
  record("GetStockObject", nullptr, object, {id}, reinterpret_cast<intptr_t>(object));
  return object;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ handle) {
  HGDIOBJ previous = nullptr;
  DeviceContextState* context = liveContext(dc);
  DrawingObjectRecord* object = liveObject(handle);
  if (!failsNow("SelectObject") && context != nullptr && object != nullptr) {
    HGDIOBJ* slot = object->kind == "pen" ? &context->pen : object->kind == "font" ? &context->font : nullptr;
    if (slot != nullptr) {
      previous = *slot;
      object->selections++;
      deselect(previous);
      *slot = handle;
    }
  }
  record("SelectObject", dc, handle, {}, reinterpret_cast<intptr_t>(previous));
  return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ handle) {
  BOOL deleted = FALSE;
  DrawingObjectRecord* object = liveObject(handle);
  if (!failsNow("DeleteObject") && object != nullptr) {
    // Stock objects cannot be deleted, yet the call reports success.
    if (object->stockId < 0) {
      object->deleted = true;
      object->alive = object->selections > 0;
    }
    deleted = TRUE;
  }
  record("DeleteObject", nullptr, handle, {}, deleted);
  return deleted;
}

BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT previous) {
  DeviceContextState* context = liveContext(dc);
  if (context != nullptr) {
    if (previous != nullptr) *previous = context->position;
    context->position = POINT{x, y};
  }
  record("MoveToEx", dc, context != nullptr ? context->pen : nullptr, {x, y}, context != nullptr);
  return context != nullptr;
}

BOOL WINAPI LineTo(HDC dc, int x, int y) {
  DeviceContextState* context = liveContext(dc);
  if (context != nullptr) context->position = POINT{x, y};
  record("LineTo", dc, context != nullptr ? context->pen : nullptr, {x, y}, context != nullptr);
  return context != nullptr;
}

int WINAPI SetBkMode(HDC dc, int mode) {
  DeviceContextState* context = liveContext(dc);
  int previous = 0;
  if (context != nullptr && (mode == TRANSPARENT || mode == OPAQUE)) {
    previous = context->backgroundMode;
    context->backgroundMode = mode;
  }
  record("SetBkMode", dc, nullptr, {mode}, previous);
  return previous;
}

UINT WINAPI SetTextAlign(HDC dc, UINT align) {
  DeviceContextState* context = liveContext(dc);
  UINT previous = GDI_ERROR;
  if (context != nullptr) {
    previous = context->textAlign;
    context->textAlign = align;
  }
  record("SetTextAlign", dc, nullptr, {align}, static_cast<intptr_t>(previous));
  return previous;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF colour) {
  DeviceContextState* context = liveContext(dc);
  COLORREF previous = CLR_INVALID;
  if (context != nullptr) {
    previous = context->textColour;
    context->textColour = colour;
  }
  record("SetTextColor", dc, nullptr, {colour}, static_cast<intptr_t>(previous));
  return previous;
}

BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
  DeviceContextState* context = liveContext(dc);
  std::string shown = text != nullptr && length > 0 ? std::string(text, static_cast<size_t>(length)) : "";
  record("TextOutA", dc, context != nullptr ? context->font : nullptr, {x, y, length}, context != nullptr, shown);
  return context != nullptr;
}

namespace {

// The classic scheme's colours, as Windows 98 and 2000 ship them.
COLORREF systemColour(int index) {
  switch (index) {
    case COLOR_BTNFACE:
      return RGB(192, 192, 192);
    default:
      return RGB(255, 255, 255);
  }
}

}  // namespace

COLORREF WINAPI SetBkColor(HDC dc, COLORREF colour) {
  DeviceContextState* context = liveContext(dc);
  COLORREF previous = CLR_INVALID;
  if (context != nullptr) {
    previous = context->backgroundColour;
    context->backgroundColour = colour;
  }
  record("SetBkColor", dc, nullptr, {colour}, static_cast<intptr_t>(previous));
  return previous;
}

DWORD WINAPI GetSysColor(int index) { return systemColour(index); }

// One brush per colour for the whole session, never deleted, like a stock object.
HBRUSH WINAPI GetSysColorBrush(int index) {
  auto found = state().systemColourBrushes.find(index);
  if (found == state().systemColourBrushes.end()) {
    DrawingObjectRecord brush{"brush", sim::kSystemColourBrush + index, false, true, 0, 0, 0, systemColour(index),
                              0, ""};
    found = state().systemColourBrushes.emplace(index, state().add(GdiEntry{false, brush, DeviceContextState()})).first;
  }
  return static_cast<HBRUSH>(found->second);
}

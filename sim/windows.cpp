// Window classes, windows, the message queue, the screen's size, icons and
// cursors of the simulated machine.
#include "sim/windows.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "sim/machine.h"

using sim::machine;
using sim::WindowClassRecord;
using sim::WindowRecord;

namespace {

// Handles are made-up numbers, never addresses, so that a stale handle can
// be told from a live one and is never reused within one machine.
const uintptr_t kFirstWindowHandle = 0x10000;
const uintptr_t kFirstIconHandle = 0x30000;
const ATOM kFirstClassAtom = 0xC000;
const int kArrowCursor = 32512;

struct WindowState {
  sim::Screen screen{1024, 768, 96};
  std::vector<WindowClassRecord> classes;
  ATOM nextAtom = kFirstClassAtom;
  // Every window ever made; handle = kFirstWindowHandle + 4 * index.
  std::vector<std::unique_ptr<WindowRecord>> windows;
  std::map<DWORD, std::deque<MSG>> postedMessages;  // per thread
  std::deque<std::function<void()>> idleActions;
  // Input due while the program polls: each action waits for its number of
  // empty polls, counted after the action before it has run.
  struct PollAction {
    int emptyPolls;
    std::function<void()> action;
  };
  std::deque<PollAction> pollActions;
  int emptyPolls = 0;  // PeekMessageA calls that found nothing, since reset
  std::vector<std::string> iconGroups;
  // Every icon or cursor handed out, by what it stands for; handle =
  // kFirstIconHandle + 4 * index.
  struct LoadedImage {
    std::string iconName;
    int cursorId;
  };
  std::vector<LoadedImage> images;
};

WindowState& state() {
  static WindowState theState;
  return theState;
}

sim::ResetHook clearWindows([] { state() = WindowState(); });

WindowClassRecord* classByName(LPCSTR name) {
  for (WindowClassRecord& windowClass : state().classes) {
    if (IS_INTRESOURCE(name) ? windowClass.atom == static_cast<ATOM>(reinterpret_cast<uintptr_t>(name))
                             : strcasecmp(windowClass.name.c_str(), name) == 0)
      return &windowClass;
  }
  return nullptr;
}

WindowRecord* windowOrError(HWND handle) {
  WindowRecord* window = sim::findWindow(handle);
  if (window == nullptr) machine().lastError = ERROR_INVALID_WINDOW_HANDLE;
  return window;
}

LRESULT callProcedure(WindowRecord* window, UINT message, WPARAM wParam, LPARAM lParam) {
  return window->procedure(window->handle, message, wParam, lParam);
}

bool hasClientArea(const WindowRecord& window) {
  RECT client = sim::clientRectOf(window);
  return client.right > 0 && client.bottom > 0;
}

// Shows or hides through the window-position messages, as SetWindowPos does;
// the procedure may veto a move or a resize but not the change of visibility.
void changeVisibility(WindowRecord* window, bool show) {
  WINDOWPOS position = {window->handle, nullptr,
                        static_cast<int>(window->rect.left), static_cast<int>(window->rect.top),
                        static_cast<int>(window->rect.right - window->rect.left),
                        static_cast<int>(window->rect.bottom - window->rect.top),
                        static_cast<UINT>(SWP_NOMOVE | SWP_NOSIZE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW))};
  HWND handle = window->handle;
  callProcedure(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&position));
  if ((window = sim::findWindow(handle)) == nullptr) return;
  if (!(position.flags & SWP_NOMOVE)) {
    LONG width = window->rect.right - window->rect.left;
    window->rect.left = position.x;
    window->rect.right = position.x + width;
  }
  if (!(position.flags & SWP_NOSIZE)) {
    window->rect.right = window->rect.left + position.cx;
    window->rect.bottom = window->rect.top + position.cy;
  }
  if (show) {
    window->style |= WS_VISIBLE;
    if (hasClientArea(*window)) window->updatePending = window->erasePending = true;
  } else {
    window->style &= ~static_cast<DWORD>(WS_VISIBLE);
  }
  callProcedure(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
}

std::vector<HWND> childrenOf(HWND parent) {
  std::vector<HWND> children;
  for (const auto& window : state().windows)
    if (window->alive && window->parent == parent) children.push_back(window->handle);
  return children;
}

void sendDestroy(HWND handle) {
  WindowRecord* window = sim::findWindow(handle);
  if (window == nullptr) return;
  callProcedure(window, WM_DESTROY, 0, 0);
  for (HWND child : childrenOf(handle)) sendDestroy(child);
}

// Children go first, then the window itself gets its last message.
void finishDestroy(HWND handle) {
  for (HWND child : childrenOf(handle)) finishDestroy(child);
  WindowRecord* window = sim::findWindow(handle);
  if (window == nullptr) return;
  callProcedure(window, WM_NCDESTROY, 0, 0);
  window->alive = false;
  window->updatePending = window->erasePending = false;
  sim::forgetWindowDC(handle);
  // Messages still waiting for it are thrown away, as Windows does.
  for (auto& queue : state().postedMessages) {
    std::deque<MSG>& messages = queue.second;
    for (auto it = messages.begin(); it != messages.end();)
      it = it->hwnd == handle ? messages.erase(it) : it + 1;
  }
}

bool isSelfOrDescendant(HWND window, HWND ancestor) {
  while (window != nullptr) {
    if (window == ancestor) return true;
    const WindowRecord* record = sim::findWindow(window);
    window = record != nullptr ? record->parent : nullptr;
  }
  return false;
}

bool messageMatches(const MSG& message, HWND window, UINT filterMin, UINT filterMax) {
  if (window != nullptr && !isSelfOrDescendant(message.hwnd, window)) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return message.message >= filterMin && message.message <= filterMax;
}

// Posted messages first, then a paint request; a paint request stays until
// the window's update region is validated (BeginPaint).
bool retrieveMessage(LPMSG out, HWND window, UINT filterMin, UINT filterMax, bool remove) {
  std::deque<MSG>& queue = state().postedMessages[GetCurrentThreadId()];
  for (auto it = queue.begin(); it != queue.end(); ++it) {
    if (!messageMatches(*it, window, filterMin, filterMax)) continue;
    *out = *it;
    if (remove) queue.erase(it);
    return true;
  }
  for (const auto& candidate : state().windows) {
    if (!candidate->alive || !candidate->updatePending || !candidate->visible() ||
        candidate->threadId != GetCurrentThreadId())
      continue;
    MSG paint = {candidate->handle, WM_PAINT, 0, 0, 0, {0, 0}};
    if (!messageMatches(paint, window, filterMin, filterMax)) continue;
    *out = paint;
    return true;
  }
  return false;
}

bool validSlot(const WindowRecord& window, int index) {
  return index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= window.extraBytes.size();
}

}  // namespace

namespace sim {

const Screen& screen() { return state().screen; }

void setScreen(int width, int height, int logPixelsY) { state().screen = Screen{width, height, logPixelsY}; }

WindowRecord* findWindow(HWND handle) {
  uintptr_t value = reinterpret_cast<uintptr_t>(handle);
  if (value < kFirstWindowHandle || (value - kFirstWindowHandle) % 4 != 0) return nullptr;
  size_t index = (value - kFirstWindowHandle) / 4;
  if (index >= state().windows.size() || !state().windows[index]->alive) return nullptr;
  return state().windows[index].get();
}

RECT clientRectOf(const WindowRecord& window) {
  return RECT{0, 0, window.rect.right - window.rect.left, window.rect.bottom - window.rect.top};
}

const WindowClassRecord* findWindowClass(const std::string& name) { return classByName(name.c_str()); }

const WindowRecord* findWindowRecord(HWND window) { return findWindow(window); }

std::vector<HWND> liveWindows() {
  std::vector<HWND> handles;
  for (const auto& window : state().windows)
    if (window->alive) handles.push_back(window->handle);
  return handles;
}

void whenIdle(std::function<void()> action) { state().idleActions.push_back(std::move(action)); }

void atEmptyPoll(int nth, std::function<void()> action) {
  state().pollActions.push_back(WindowState::PollAction{nth, std::move(action)});
}

int emptyPolls() { return state().emptyPolls; }

void addIconGroup(const std::string& name) { state().iconGroups.push_back(name); }

std::string iconName(HICON icon) {
  uintptr_t value = reinterpret_cast<uintptr_t>(icon);
  size_t index = (value - kFirstIconHandle) / 4;
  if (value < kFirstIconHandle || index >= state().images.size()) return "";
  return state().images[index].iconName;
}

int cursorId(HCURSOR cursor) {
  uintptr_t value = reinterpret_cast<uintptr_t>(cursor);
  size_t index = (value - kFirstIconHandle) / 4;
  if (value < kFirstIconHandle || index >= state().images.size()) return 0;
  return state().images[index].cursorId;
}

}  // namespace sim

namespace {

HICON handOutImage(const std::string& iconName, int cursorId) {
  state().images.push_back(WindowState::LoadedImage{iconName, cursorId});
  return reinterpret_cast<HICON>(kFirstIconHandle + 4 * (state().images.size() - 1));
}

}  // namespace

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpszClassName == nullptr || windowClass->lpfnWndProc == nullptr ||
      IS_INTRESOURCE(windowClass->lpszClassName)) {
    machine().lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (classByName(windowClass->lpszClassName) != nullptr) {
    machine().lastError = ERROR_CLASS_ALREADY_EXISTS;
    return 0;
  }
  ATOM atom = state().nextAtom++;
  state().classes.push_back(WindowClassRecord{windowClass->lpszClassName, atom, windowClass->style,
                                              windowClass->lpfnWndProc, windowClass->cbClsExtra,
                                              windowClass->cbWndExtra, windowClass->hInstance,
                                              windowClass->hIcon, windowClass->hCursor,
                                              windowClass->hbrBackground});
  return atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE) {
  WindowClassRecord* windowClass = className != nullptr ? classByName(className) : nullptr;
  if (windowClass == nullptr) {
    machine().lastError = ERROR_CLASS_DOES_NOT_EXIST;
    return FALSE;
  }
  for (const auto& window : state().windows) {
    if (window->alive && strcasecmp(window->className.c_str(), windowClass->name.c_str()) == 0) {
      machine().lastError = ERROR_CLASS_HAS_WINDOWS;
      return FALSE;
    }
  }
  state().classes.erase(state().classes.begin() + (windowClass - state().classes.data()));
  return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  const WindowClassRecord* windowClass = className != nullptr ? classByName(className) : nullptr;
  if (windowClass == nullptr) {
    machine().lastError = ERROR_CANNOT_FIND_WND_CLASS;
    return nullptr;
  }
  if ((style & WS_CHILD) && parent == nullptr) {
    machine().lastError = ERROR_TLW_WITH_WSCHILD;
    return nullptr;
  }
  if (parent != nullptr && windowOrError(parent) == nullptr) return nullptr;

  auto window = std::make_unique<WindowRecord>();
  window->handle = reinterpret_cast<HWND>(kFirstWindowHandle + 4 * state().windows.size());
  window->className = windowClass->name;
  window->classStyle = windowClass->style;
  window->procedure = windowClass->procedure;
  window->instance = instance;
  // Visibility comes from ShowWindow below, after creation, as in Windows.
  window->style = style & ~static_cast<DWORD>(WS_VISIBLE);
  window->exStyle = exStyle;
  window->rect = RECT{x, y, x + width, y + height};
  window->parent = nullptr;
  window->owner = nullptr;
  window->id = 0;
  if (style & WS_CHILD) {
    window->parent = parent;
    window->id = static_cast<int>(reinterpret_cast<intptr_t>(menu));
  } else {
    // The owner of a top-level window is always a top-level window.
    HWND owner = parent;
    while (owner != nullptr && sim::findWindow(owner)->parent != nullptr) owner = sim::findWindow(owner)->parent;
    window->owner = owner;
  }
  window->userData = 0;
  window->extraBytes.assign(static_cast<size_t>(windowClass->windowExtra > 0 ? windowClass->windowExtra : 0), 0);
  window->threadId = GetCurrentThreadId();
  window->updatePending = window->erasePending = false;
  window->destroying = false;
  window->alive = true;
  HWND handle = window->handle;
  state().windows.push_back(std::move(window));

  CREATESTRUCTA creation = {param, instance, menu, parent, height, width, y, x,
                            static_cast<LONG>(style), windowName, className, exStyle};
  if (SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&creation)) == 0) {
    finishDestroy(handle);
    return nullptr;
  }
  if (sim::findWindow(handle) == nullptr) return nullptr;
  if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&creation)) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (sim::findWindow(handle) == nullptr) return nullptr;
  if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
  return handle;
}

BOOL WINAPI DestroyWindow(HWND handle) {
  WindowRecord* window = windowOrError(handle);
  if (window == nullptr) return FALSE;
  if (window->threadId != GetCurrentThreadId()) {
    machine().lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (window->destroying) return TRUE;
  window->destroying = true;
  if (window->visible()) changeVisibility(window, false);
  // Owned windows go before their owner; those of another thread are only
  // disowned, as in Windows.
  if (sim::findWindow(handle) != nullptr && sim::findWindow(handle)->parent == nullptr) {
    for (HWND owned : sim::liveWindows()) {
      WindowRecord* ownedWindow = sim::findWindow(owned);
      if (ownedWindow == nullptr || ownedWindow->owner != handle) continue;
      if (ownedWindow->threadId == GetCurrentThreadId())
        DestroyWindow(owned);
      else
        ownedWindow->owner = nullptr;
    }
  }
  sendDestroy(handle);
  finishDestroy(handle);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND window) { return sim::findWindow(window) != nullptr; }

BOOL WINAPI ShowWindow(HWND handle, int command) {
  WindowRecord* window = windowOrError(handle);
  if (window == nullptr) return FALSE;
  bool wasVisible = window->visible();
  bool show = command != SW_HIDE;
  if (show == wasVisible) return wasVisible;
  callProcedure(window, WM_SHOWWINDOW, show, 0);
  if ((window = sim::findWindow(handle)) != nullptr) changeVisibility(window, show);
  return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND handle) {
  WindowRecord* window = windowOrError(handle);
  if (window == nullptr) return FALSE;
  if (window->updatePending && window->visible()) callProcedure(window, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
  // Invalidating every window at once (a null window) is not simulated.
  WindowRecord* window = windowOrError(handle);
  if (window == nullptr) return FALSE;
  RECT client = sim::clientRectOf(*window);
  if (rect != nullptr) {
    client.left = rect->left > client.left ? rect->left : client.left;
    client.top = rect->top > client.top ? rect->top : client.top;
    client.right = rect->right < client.right ? rect->right : client.right;
    client.bottom = rect->bottom < client.bottom ? rect->bottom : client.bottom;
  }
  // An empty area leaves nothing to paint.
  if (client.right > client.left && client.bottom > client.top) {
    window->updatePending = true;
    if (erase) window->erasePending = true;
  }
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND handle, LPRECT rect) {
  WindowRecord* window = windowOrError(handle);
  if (window == nullptr) return FALSE;
  *rect = sim::clientRectOf(*window);
  return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRecord* window = sim::findWindow(handle);
  if (window == nullptr) return 0;
  switch (message) {
    case WM_NCCREATE: {
      // The window's text is set here, so a procedure that does not pass
      // WM_NCCREATE on leaves it empty.
      const CREATESTRUCTA* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      if (creation->lpszName != nullptr && !IS_INTRESOURCE(creation->lpszName)) window->text = creation->lpszName;
      return TRUE;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (BeginPaint(handle, &paint) != nullptr) EndPaint(handle, &paint);
      return 0;
    }
    case WM_ERASEBKGND: {
      // Only a class background brush erases anything.
      const WindowClassRecord* windowClass = classByName(window->className.c_str());
      return windowClass != nullptr && windowClass->background != nullptr ? 1 : 0;
    }
    case WM_SETTEXT:
      window->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      return TRUE;
    case WM_GETTEXT: {
      if (wParam == 0) return 0;
      size_t length = window->text.size() < wParam - 1 ? window->text.size() : wParam - 1;
      memcpy(reinterpret_cast<char*>(lParam), window->text.data(), length);
      reinterpret_cast<char*>(lParam)[length] = '\0';
      return static_cast<LRESULT>(length);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(window->text.size());
    case WM_CLOSE:
      DestroyWindow(handle);
      return 0;
    default:
      return 0;
  }
}

LRESULT WINAPI SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRecord* window = windowOrError(handle);
  if (window == nullptr) return 0;
  return callProcedure(window, message, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD thread = GetCurrentThreadId();
  if (handle != nullptr) {
    WindowRecord* window = windowOrError(handle);
    if (window == nullptr) return FALSE;
    thread = window->threadId;
  }
  state().postedMessages[thread].push_back(MSG{handle, message, wParam, lParam, 0, {0, 0}});
  return TRUE;
}

BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
  if (window != nullptr && windowOrError(window) == nullptr) return -1;
  while (!retrieveMessage(message, window, filterMin, filterMax, true)) {
    if (state().idleActions.empty()) {
      sim::writeToStderr("[sim] GetMessageA would wait forever: no message is due and no user action is left\n");
      abort();
    }
    std::function<void()> action = std::move(state().idleActions.front());
    state().idleActions.pop_front();
    action();
  }
  return message->message != WM_QUIT;
}

BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage) {
  bool remove = (removeMessage & PM_REMOVE) != 0;
  if (retrieveMessage(message, window, filterMin, filterMax, remove)) return TRUE;
  ++state().emptyPolls;
  std::deque<WindowState::PollAction>& due = state().pollActions;
  if (due.empty() || --due.front().emptyPolls > 0) return FALSE;
  // The user acts now; the poll then looks again, as a later poll would.
  std::function<void()> action = std::move(due.front().action);
  due.pop_front();
  action();
  return retrieveMessage(message, window, filterMin, filterMax, remove);
}

// No keyboard is simulated, so there is never a key message to translate.
BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

LRESULT WINAPI DispatchMessageA(const MSG* message) {
  if (message->hwnd == nullptr) return 0;
  WindowRecord* window = windowOrError(message->hwnd);
  if (window == nullptr) return 0;
  return callProcedure(window, message->message, message->wParam, message->lParam);
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND handle, int index) {
  WindowRecord* window = windowOrError(handle);
  if (window == nullptr) return 0;
  switch (index) {
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(window->procedure);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(window->parent != nullptr ? window->parent : window->owner);
    case GWLP_ID:
      return window->id;
    case GWL_STYLE:
      return static_cast<LONG>(window->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(window->exStyle);
    case GWLP_USERDATA:
      return window->userData;
  }
  if (!validSlot(*window, index)) {
    machine().lastError = ERROR_INVALID_INDEX;
    return 0;
  }
  LONG_PTR value;
  memcpy(&value, window->extraBytes.data() + index, sizeof value);
  return value;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND handle, int index, LONG_PTR value) {
  WindowRecord* window = windowOrError(handle);
  if (window == nullptr) return 0;
  LONG_PTR previous = GetWindowLongPtrA(handle, index);
  switch (index) {
    case GWLP_WNDPROC:
      window->procedure = reinterpret_cast<WNDPROC>(value);
      return previous;
    case GWLP_ID:
      window->id = static_cast<int>(value);
      return previous;
    case GWL_STYLE:
      window->style = static_cast<DWORD>(value);
      return previous;
    case GWL_EXSTYLE:
      window->exStyle = static_cast<DWORD>(value);
      return previous;
    case GWLP_USERDATA:
      window->userData = value;
      return previous;
  }
  if (!validSlot(*window, index)) {
    machine().lastError = ERROR_INVALID_INDEX;
    return 0;
  }
  memcpy(window->extraBytes.data() + index, &value, sizeof value);
  return previous;
}

int WINAPI GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
      return state().screen.width;
    case SM_CYSCREEN:
      return state().screen.height;
    default:
      return 0;
  }
}

// The sim holds one program, so an icon is looked up among its resources
// whatever the instance; names are compared without regard to case, as
// resource names are.
HICON WINAPI LoadIconA(HINSTANCE, LPCSTR name) {
  std::string wanted = IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<uintptr_t>(name)) : name;
  for (const std::string& group : state().iconGroups)
    if (strcasecmp(group.c_str(), wanted.c_str()) == 0) return handOutImage(group, 0);
  machine().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
  return nullptr;
}

// Only the system's standard cursors (a null instance) are simulated.
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (instance == nullptr && IS_INTRESOURCE(name) && id >= static_cast<uintptr_t>(kArrowCursor) && id <= 32651)
    return handOutImage("", static_cast<int>(id));
  machine().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
  return nullptr;
}

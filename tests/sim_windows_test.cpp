// The simulated window core and drawing calls behave as Windows does where
// the program and later dialogs depend on it.
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace {

// Every message a window of class "Logged" receives, as "name:number", the
// name being the window's text.
std::vector<std::string>& messageLog() {
  static std::vector<std::string> log;
  return log;
}

LRESULT CALLBACK loggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // The text is set by the default handling of WM_NCCREATE, so that one
  // message names its window from the creation record.
  std::string name = message == WM_NCCREATE ? reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpszName
                                            : sim::findWindowRecord(window)->text;
  messageLog().push_back(name + ":" + std::to_string(message));
  return DefWindowProcA(window, message, wParam, lParam);
}

class SimWindowsTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    messageLog().clear();
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = loggingProc;
    windowClass.cbWndExtra = 2 * sizeof(LONG_PTR);
    windowClass.lpszClassName = "Logged";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
  }

  HWND make(const char* name, DWORD style = WS_POPUP, HWND parent = nullptr, int id = 0) {
    return CreateWindowExA(0, "Logged", name, style, 0, 0, 100, 50, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
  }

  std::vector<std::string> log() { return messageLog(); }

  static std::string m(const char* window, UINT message) { return std::string(window) + ":" + std::to_string(message); }
};

}  // namespace

TEST_F(SimWindowsTest, CreationSendsNcCreateThenCreateAndShowsAVisibleWindowAfterwards) {
  HWND a = make("a", WS_POPUP | WS_VISIBLE);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(log(), (std::vector<std::string>{m("a", WM_NCCREATE), m("a", WM_CREATE), m("a", WM_SHOWWINDOW),
                                             m("a", WM_WINDOWPOSCHANGING), m("a", WM_WINDOWPOSCHANGED)}));
  EXPECT_TRUE(sim::findWindowRecord(a)->visible());
  EXPECT_TRUE(sim::findWindowRecord(a)->updatePending);
  EXPECT_EQ(sim::findWindowRecord(a)->text, "a");
}

TEST_F(SimWindowsTest, DestroyHidesThenDestroysOwnedWindowsBeforeItsOwnMessages) {
  HWND a = make("a", WS_POPUP | WS_VISIBLE);
  HWND owned = make("o", WS_POPUP, a);
  HWND child = make("c", WS_CHILD, a, 7);
  EXPECT_EQ(sim::findWindowRecord(child)->id, 7);
  EXPECT_EQ(sim::findWindowRecord(owned)->owner, a);
  messageLog().clear();
  EXPECT_TRUE(DestroyWindow(a));
  EXPECT_EQ(log(), (std::vector<std::string>{m("a", WM_WINDOWPOSCHANGING), m("a", WM_WINDOWPOSCHANGED),
                                             m("o", WM_DESTROY), m("o", WM_NCDESTROY), m("a", WM_DESTROY),
                                             m("c", WM_DESTROY), m("c", WM_NCDESTROY), m("a", WM_NCDESTROY)}));
  EXPECT_FALSE(IsWindow(a));
  EXPECT_FALSE(IsWindow(owned));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(DestroyWindow(a));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(SimWindowsTest, ClassesAreUniqueAndStayWhileWindowsUseThem) {
  WNDCLASSA again = {};
  again.lpfnWndProc = loggingProc;
  again.lpszClassName = "LOGGED";
  EXPECT_EQ(RegisterClassA(&again), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  HWND a = make("a");
  EXPECT_FALSE(UnregisterClassA("Logged", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  DestroyWindow(a);
  EXPECT_TRUE(UnregisterClassA("logged", nullptr));
  EXPECT_EQ(make("b"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(SimWindowsTest, PostedMessagesComeBeforePaintingAndIdleActionsRunWhenNothingIsDue) {
  HWND a = make("a", WS_POPUP | WS_VISIBLE);
  PostMessageA(a, WM_USER + 1, 0, 0);
  PostMessageA(a, WM_USER + 2, 0, 0);
  MSG message;
  std::vector<UINT> seen;
  int idleRuns = 0;
  sim::whenIdle([&] {
    ++idleRuns;
    PostMessageA(a, WM_QUIT, 0, 0);
  });
  while (GetMessageA(&message, nullptr, 0, 0)) {
    seen.push_back(message.message);
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // The default procedure's paint validates the window, so WM_PAINT comes once.
  EXPECT_EQ(seen, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_PAINT}));
  EXPECT_EQ(idleRuns, 1);
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(SimWindowsTest, PeekFiltersByRangeAndLeavesMessagesWithoutRemove) {
  HWND a = make("a");
  PostMessageA(a, WM_USER + 5, 1, 2);
  PostMessageA(a, WM_USER + 9, 3, 4);
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_USER + 9, WM_USER + 9, PM_NOREMOVE));
  EXPECT_EQ(message.wParam, 3u);
  ASSERT_TRUE(PeekMessageA(&message, a, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 5));
  ASSERT_TRUE(PeekMessageA(&message, a, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 9));
  // Messages of a destroyed window are thrown away with it.
  PostMessageA(a, WM_USER, 0, 0);
  DestroyWindow(a);
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(SimWindowsTest, WindowDataSlotsHoldValuesAndRejectIndicesOutsideTheExtraBytes) {
  HWND a = make("a");
  EXPECT_EQ(SetWindowLongPtrA(a, GWLP_USERDATA, 1234), 0);
  EXPECT_EQ(GetWindowLongPtrA(a, GWLP_USERDATA), 1234);
  EXPECT_EQ(SetWindowLongPtrA(a, sizeof(LONG_PTR), -5), 0);
  EXPECT_EQ(GetWindowLongPtrA(a, sizeof(LONG_PTR)), -5);
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrA(a, sizeof(LONG_PTR) + 1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  EXPECT_EQ(GetWindowLongPtrA(a, GWL_STYLE), static_cast<LONG>(WS_POPUP));
}

TEST_F(SimWindowsTest, DeletingASelectedObjectWaitsUntilItIsDeselected) {
  HDC screen = GetDC(nullptr);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
  SelectObject(screen, pen);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(sim::findDrawingObject(pen)->alive);
  EXPECT_EQ(SelectObject(screen, GetStockObject(BLACK_PEN)), pen);
  EXPECT_FALSE(sim::findDrawingObject(pen)->alive);
  EXPECT_FALSE(DeleteObject(pen));
  // Stock objects survive deletion, which still reports success.
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 0);
  EXPECT_EQ(sim::heldDeviceContexts(), 0);
}

TEST_F(SimWindowsTest, OwnDeviceContextKeepsItsSelectionsUntilTheWindowGoes) {
  WNDCLASSA ownClass = {};
  ownClass.style = CS_OWNDC;
  ownClass.lpfnWndProc = DefWindowProcA;
  ownClass.lpszClassName = "Own";
  RegisterClassA(&ownClass);
  HWND window = CreateWindowExA(0, "Own", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  HFONT font = CreateFontA(-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
  HDC dc = GetDC(window);
  SelectObject(dc, font);
  EXPECT_EQ(ReleaseDC(window, dc), 1);
  EXPECT_EQ(GetDC(window), dc);
  EXPECT_EQ(SelectObject(dc, font), font);
  ReleaseDC(window, dc);
  DeleteObject(font);
  EXPECT_TRUE(sim::findDrawingObject(font)->alive);
  DestroyWindow(window);
  EXPECT_FALSE(sim::findDrawingObject(font)->alive);
  EXPECT_EQ(sim::liveDrawingObjects(), 0);
}

TEST_F(SimWindowsTest, MulDivRoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDiv(30, 96, 72), 40);
  EXPECT_EQ(MulDiv(1, 3, 2), 2);
  EXPECT_EQ(MulDiv(-1, 3, 2), -2);
  EXPECT_EQ(MulDiv(1, 3, -2), -2);
  EXPECT_EQ(MulDiv(5, 5, 0), -1);
  EXPECT_EQ(MulDiv(0x7FFFFFFF, 4, 1), -1);
}

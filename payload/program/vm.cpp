// vm.exe of the sample product: a window that names the product and its
// version over a few cycles of a filtered sawtooth. It stands in for the
// synthesizer, so that the installed shortcut, the App Paths entry and the
// Start Menu have a real program to start.
#include <windows.h>

#include <cmath>

namespace {

const char kClassName[] = "VelkModularSample";
const char kTitle[] = "Velk Modular 2.08.004";
const char kLine[] = "Sample build of the synthesizer: nothing to play yet.";

void paint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

  HPEN pen = CreatePen(PS_SOLID, 2, RGB(64, 224, 96));
  HGDIOBJ previous = SelectObject(dc, pen);
  int width = client.right;
  int middle = client.bottom / 2;
  for (int x = 0; x < width; ++x) {
    // Five harmonics of a sawtooth: what a lowpass filter leaves of it.
    double phase = 6.283185307179586 * 4.0 * x / (width > 0 ? width : 1);
    double y = 0;
    for (int k = 1; k <= 5; ++k) y += std::sin(k * phase) / k;
    int pixel = middle - static_cast<int>(y * client.bottom / 6);
    if (x == 0)
      MoveToEx(dc, x, pixel, nullptr);
    else
      LineTo(dc, x, pixel);
  }
  SelectObject(dc, previous);
  DeleteObject(pen);

  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  TextOutA(dc, 12, 10, kTitle, sizeof kTitle - 1);
  TextOutA(dc, 12, 30, kLine, sizeof kLine - 1);
  EndPaint(window, &paint);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      paint(window);
      return 0;
    case WM_SIZE:
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, "AAA");
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kClassName;
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 560,
                                300, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, show);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

// Dialog items of the simulated machine: a dialog's controls are its child
// windows, found by their control id, and IsDialogMessageA hands the dialog
// the messages meant for it or its controls. No keyboard is simulated, so
// there is no key navigation to do: every such message is dispatched as is.
#include "sim/machine.h"
#include "sim/windows.h"

namespace {

bool isSelfOrDescendant(HWND window, HWND ancestor) {
  while (window != nullptr) {
    if (window == ancestor) return true;
    const sim::WindowRecord* record = sim::findWindow(window);
    window = record != nullptr ? record->parent : nullptr;
  }
  return false;
}

}  // namespace

HWND WINAPI GetDlgItem(HWND dialog, int id) {
  if (sim::findWindow(dialog) == nullptr) {
    sim::machine().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return nullptr;
  }
  for (HWND control : sim::liveWindows()) {
    const sim::WindowRecord* record = sim::findWindow(control);
    if (record->parent == dialog && record->id == id) return control;
  }
  sim::machine().lastError = ERROR_CONTROL_ID_NOT_FOUND;
  return nullptr;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND control = GetDlgItem(dialog, id);
  return control != nullptr && SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND control = GetDlgItem(dialog, id);
  return control != nullptr ? SendMessageA(control, message, wParam, lParam) : 0;
}

BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG message) {
  if (dialog == nullptr || sim::findWindow(dialog) == nullptr) return FALSE;
  if (!isSelfOrDescendant(message->hwnd, dialog)) return FALSE;
  TranslateMessage(message);
  DispatchMessageA(message);
  return TRUE;
}

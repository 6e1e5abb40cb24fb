// The system's control classes as the program's dialogs use them: buttons
// (push buttons and automatic check boxes), static texts and icons,
// single-line and multi-line edit fields, and the common controls' progress
// bar, which exists only once comctl32's initialisation has registered it.
#include <strings.h>

#include <map>

#include "sim/machine.h"
#include "sim/windows.h"

namespace {

// What 32-bit Windows lets a user type before EM_LIMITTEXT says otherwise.
const size_t kDefaultEditLimit = 32767;
// EM_LIMITTEXT with 0 lifts the limit to the most a field can hold.
const size_t kLargestEditLimit = 0x7FFFFFFE;

struct ControlState {
  UINT check = BST_UNCHECKED;
  size_t editLimit = kDefaultEditLimit;
  int rangeLow = 0;
  int rangeHigh = 100;
  int position = 0;
  std::string iconName;
};

std::map<HWND, ControlState>& controls() {
  static std::map<HWND, ControlState> theControls;
  return theControls;
}

sim::ResetHook clearControls([] { controls().clear(); });

LRESULT notifyParent(HWND control, WORD code) {
  const sim::WindowRecord* window = sim::findWindow(control);
  if (window == nullptr || window->parent == nullptr) return 0;
  return SendMessageA(window->parent, WM_COMMAND, MAKEWPARAM(window->id, code), reinterpret_cast<LPARAM>(control));
}

// Messages every control handles alike; false when `message` is not one.
bool commonControlMessage(HWND control, UINT message, LRESULT* result) {
  switch (message) {
    case WM_NCDESTROY:
      controls().erase(control);
      *result = 0;
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK buttonProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result;
  if (commonControlMessage(control, message, &result)) return result;
  switch (message) {
    case BM_GETCHECK:
      return controls()[control].check;
    case BM_SETCHECK:
      controls()[control].check = static_cast<UINT>(wParam);
      return 0;
    default:
      return DefWindowProcA(control, message, wParam, lParam);
  }
}

LRESULT CALLBACK staticProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result;
  if (commonControlMessage(control, message, &result)) return result;
  if (message == WM_NCCREATE) {
    const CREATESTRUCTA* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    // An icon control loads its icon by the name its text gives; a missing
    // icon leaves it empty rather than failing the dialog.
    if ((creation->style & SS_TYPEMASK) == SS_ICON && creation->lpszName != nullptr &&
        !IS_INTRESOURCE(creation->lpszName)) {
      if (HICON icon = LoadIconA(creation->hInstance, creation->lpszName))
        controls()[control].iconName = sim::iconName(icon);
    }
  }
  return DefWindowProcA(control, message, wParam, lParam);
}

LRESULT CALLBACK editProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result;
  if (commonControlMessage(control, message, &result)) return result;
  switch (message) {
    case EM_LIMITTEXT:
      controls()[control].editLimit = wParam != 0 ? static_cast<size_t>(wParam) : kLargestEditLimit;
      return 0;
    case WM_SETTEXT: {
      // The limit holds only for what the user enters, not for WM_SETTEXT.
      DefWindowProcA(control, message, wParam, lParam);
      // A single-line field reports every change, this one included; a
      // multi-line field does not report text set this way.
      const sim::WindowRecord* window = sim::findWindow(control);
      if (window != nullptr && !(window->style & ES_MULTILINE)) notifyParent(control, EN_CHANGE);
      return TRUE;
    }
    default:
      return DefWindowProcA(control, message, wParam, lParam);
  }
}

LRESULT CALLBACK progressProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result;
  if (commonControlMessage(control, message, &result)) return result;
  ControlState& bar = controls()[control];
  switch (message) {
    case PBM_SETRANGE: {
      LRESULT previous = MAKELONG(bar.rangeLow, bar.rangeHigh);
      bar.rangeLow = LOWORD(lParam);
      bar.rangeHigh = HIWORD(lParam);
      if (bar.position < bar.rangeLow) bar.position = bar.rangeLow;
      if (bar.position > bar.rangeHigh) bar.position = bar.rangeHigh;
      return previous;
    }
    case PBM_SETPOS: {
      LRESULT previous = bar.position;
      int position = static_cast<int>(wParam);
      bar.position = position < bar.rangeLow ? bar.rangeLow : position > bar.rangeHigh ? bar.rangeHigh : position;
      return previous;
    }
    default:
      return DefWindowProcA(control, message, wParam, lParam);
  }
}

ATOM registerClass(const char* name, WNDPROC procedure) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = procedure;
  windowClass.lpszClassName = name;
  return RegisterClassA(&windowClass);
}

}  // namespace

namespace sim {

LRESULT CALLBACK dialogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void registerSystemClasses() {
  registerClass("#32770", dialogWindowProc);
  registerClass("Button", buttonProc);
  registerClass("Static", staticProc);
  registerClass("Edit", editProc);
}

bool progressBarState(HWND bar, ProgressBarState* state) {
  const WindowRecord* window = findWindow(bar);
  if (window == nullptr || window->className != PROGRESS_CLASSA) return false;
  const ControlState& control = controls()[bar];
  *state = ProgressBarState{control.rangeLow, control.rangeHigh, control.position};
  return true;
}

std::string controlIcon(HWND control) {
  auto found = controls().find(control);
  return found == controls().end() ? "" : found->second.iconName;
}

size_t editLimit(HWND edit) {
  auto found = controls().find(edit);
  return found == controls().end() ? kDefaultEditLimit : found->second.editLimit;
}

// A control the user can reach: it exists, shows and takes input, and so
// does its dialog.
HWND reachableControl(HWND dialog, int id, const char* className) {
  HWND control = GetDlgItem(dialog, id);
  const WindowRecord* record = findWindow(control);
  if (record == nullptr || strcasecmp(record->className.c_str(), className) != 0) return nullptr;
  if (!IsWindowVisible(control) || !IsWindowEnabled(control) || !IsWindowEnabled(dialog)) return nullptr;
  return control;
}

bool clickButton(HWND dialog, int id) {
  HWND button = reachableControl(dialog, id, "Button");
  if (button == nullptr) return false;
  // A click takes the focus first; an automatic check box then turns its
  // mark over before the dialog hears of the click.
  SetFocus(button);
  if ((findWindow(button)->style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
    ControlState& box = controls()[button];
    box.check = box.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
  }
  notifyParent(button, BN_CLICKED);
  return true;
}

namespace {

HWND editableField(HWND dialog, int id) {
  HWND edit = reachableControl(dialog, id, "Edit");
  if (edit == nullptr || (findWindow(edit)->style & ES_READONLY)) return nullptr;
  SetFocus(edit);
  return edit;
}

}  // namespace

bool replaceText(HWND dialog, int id, const std::string& text) {
  HWND edit = editableField(dialog, id);
  if (edit == nullptr) return false;
  // What does not fit the limit is cut off, as a paste is.
  findWindow(edit)->text = text.substr(0, controls()[edit].editLimit);
  notifyParent(edit, EN_CHANGE);
  return true;
}

bool typeCharacters(HWND dialog, int id, const std::string& characters) {
  HWND edit = editableField(dialog, id);
  if (edit == nullptr) return false;
  for (char ch : characters) {
    WindowRecord* field = findWindow(edit);
    // A full field refuses the key without a change.
    if (field == nullptr || field->text.size() >= controls()[edit].editLimit) break;
    field->text += ch;
    notifyParent(edit, EN_CHANGE);
  }
  return true;
}

bool commonControlsInitialized() { return findWindowClass(PROGRESS_CLASSA) != nullptr; }

void registerCommonControls() {
  if (!commonControlsInitialized()) registerClass(PROGRESS_CLASSA, progressProc);
}

}  // namespace sim

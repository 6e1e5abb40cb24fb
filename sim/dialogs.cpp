// The dialog manager of the simulated machine: dialogs built from the
// program's own templates (the resource file the host build compiles from
// res/setup.rc), modal loops that run the test's scripted user, the
// keyboard interface of IsDialogMessageA, and the dialog-item calls.
#include <strings.h>

#include <cstdlib>
#include <map>

#include "sim/code_page.h"
#include "sim/machine.h"
#include "sim/resource_file.h"
#include "sim/windows.h"

namespace {

// The dialog base units of 8-point "MS Sans Serif" at 96 pixels per inch,
// the font of every template: x and widths count quarters of 6 pixels, y and
// heights eighths of 13.
const int kBaseUnitX = 6;
const int kBaseUnitY = 13;

struct ItemTemplate {
  DWORD style;
  DWORD exStyle;
  int16_t x, y, cx, cy;
  int id;
  std::string className;
  std::string text;
};

struct DialogTemplate {
  DWORD style;
  DWORD exStyle;
  int16_t x, y, cx, cy;
  std::string className;
  std::string title;
  std::vector<ItemTemplate> items;
};

// Reads DLGTEMPLATE and DLGTEMPLATEEX alike; texts are UTF-16 in the file.
class TemplateReader {
 public:
  explicit TemplateReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  bool failed() const { return failed_; }
  uint16_t word() {
    if (offset_ + 2 > bytes_.size()) {
      failed_ = true;
      return 0;
    }
    uint16_t value = static_cast<uint16_t>(bytes_[offset_] | bytes_[offset_ + 1] << 8);
    offset_ += 2;
    return value;
  }
  uint32_t dword() {
    uint32_t low = word();
    return low | static_cast<uint32_t>(word()) << 16;
  }
  int16_t coordinate() { return static_cast<int16_t>(word()); }
  void alignToDword() { offset_ = (offset_ + 3) & ~static_cast<size_t>(3); }
  void skip(size_t bytes) { offset_ += bytes; }
  void rewind() { offset_ = 0; }

  std::string text() {
    std::u16string wide;
    for (uint16_t ch = word(); ch != 0 && !failed_; ch = word()) wide += static_cast<char16_t>(ch);
    std::string ansi;
    if (!sim::ansiFromWide(wide.c_str(), &ansi)) failed_ = true;
    return ansi;
  }
  // A text, or 0xFFFF and a number; `numbered` maps the number to a name.
  std::string textOrNumber(const char* (*numbered)(uint16_t)) {
    uint16_t first = word();
    if (first == 0xFFFF) return numbered(word());
    offset_ -= 2;
    return text();
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t offset_ = 0;
  bool failed_ = false;
};

const char* predefinedClass(uint16_t atom) {
  switch (atom) {
    case 0x80: return "Button";
    case 0x81: return "Edit";
    case 0x82: return "Static";
    case 0x83: return "ListBox";
    case 0x84: return "ScrollBar";
    case 0x85: return "ComboBox";
    default: return "";
  }
}

const char* noName(uint16_t) { return ""; }

bool parseTemplate(const std::vector<uint8_t>& bytes, DialogTemplate* dialog) {
  TemplateReader in(bytes);
  bool extended = false;
  uint16_t version = in.word();
  if (in.word() == 0xFFFF && version == 1) {
    extended = true;
    in.dword();  // help id
    dialog->exStyle = in.dword();
    dialog->style = in.dword();
  } else {
    in.rewind();
    dialog->style = in.dword();
    dialog->exStyle = in.dword();
  }
  uint16_t count = in.word();
  dialog->x = in.coordinate();
  dialog->y = in.coordinate();
  dialog->cx = in.coordinate();
  dialog->cy = in.coordinate();
  in.textOrNumber(noName);  // menu: none of the program's dialogs has one
  dialog->className = in.textOrNumber(noName);
  dialog->title = in.text();
  if (dialog->style & DS_SETFONT) {
    in.word();  // points
    if (extended) in.skip(4);  // weight, italic, character set
    in.text();  // face
  }
  for (uint16_t i = 0; i < count && !in.failed(); ++i) {
    in.alignToDword();
    ItemTemplate item;
    if (extended) {
      in.dword();  // help id
      item.exStyle = in.dword();
      item.style = in.dword();
    } else {
      item.style = in.dword();
      item.exStyle = in.dword();
    }
    item.x = in.coordinate();
    item.y = in.coordinate();
    item.cx = in.coordinate();
    item.cy = in.coordinate();
    // An old template's id is a WORD: -1 reads back as 65535, as in Windows.
    item.id = extended ? static_cast<int>(in.dword()) : in.word();
    item.className = in.textOrNumber(predefinedClass);
    item.text = in.textOrNumber(noName);
    in.skip(in.word());  // creation data
    dialog->items.push_back(item);
  }
  return !in.failed();
}

struct DialogState {
  std::string templateName;
  DLGPROC procedure = nullptr;
  bool ended = false;
  INT_PTR result = 0;
  HWND disabledOwner = nullptr;  // the owner a modal dialog disabled, enabled again at its end
};

struct DialogsState {
  std::map<HWND, DialogState> dialogs;  // handles grow, so the last one is the newest
  std::vector<std::string> history;
  std::vector<std::string> failures;
};

DialogsState& state() {
  static DialogsState theState;
  return theState;
}

sim::ResetHook clearDialogs([] { state() = DialogsState(); });

DialogState* dialogOf(HWND dialog) {
  auto found = state().dialogs.find(dialog);
  return found == state().dialogs.end() ? nullptr : &found->second;
}

bool isDescendant(HWND window, HWND ancestor) {
  for (const sim::WindowRecord* record = sim::findWindow(window); record != nullptr;
       record = sim::findWindow(record->parent)) {
    if (record->parent == ancestor) return true;
  }
  return false;
}

bool takeScheduledFailure(const std::string& name) {
  for (auto it = state().failures.begin(); it != state().failures.end(); ++it) {
    if (strcasecmp(it->c_str(), name.c_str()) == 0) {
      state().failures.erase(it);
      return true;
    }
  }
  return false;
}

HWND firstTabStop(HWND dialog) {
  for (HWND control : sim::liveWindows()) {
    const sim::WindowRecord* record = sim::findWindow(control);
    if (record->parent == dialog && (record->style & WS_TABSTOP) && record->visible() && record->enabled())
      return control;
  }
  return nullptr;
}

bool isPushButton(HWND control) {
  const sim::WindowRecord* record = sim::findWindow(control);
  if (record == nullptr || strcasecmp(record->className.c_str(), "Button") != 0) return false;
  DWORD type = record->style & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

void endModal(DialogState* dialog) {
  if (dialog->disabledOwner != nullptr) {
    EnableWindow(dialog->disabledOwner, TRUE);
    dialog->disabledOwner = nullptr;
  }
}

HWND createDialog(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure, LPARAM param,
                  bool modal) {
  std::string name = IS_INTRESOURCE(templateName)
                         ? "#" + std::to_string(reinterpret_cast<uintptr_t>(templateName))
                         : std::string(templateName);
  const std::vector<uint8_t>* bytes = sim::findProgramResource(sim::kResourceTypeDialog, name);
  DialogTemplate layout;
  if (bytes == nullptr || takeScheduledFailure(name)) {
    sim::machine().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
    return nullptr;
  }
  if (!parseTemplate(*bytes, &layout)) {
    sim::writeToStderr("[sim] the dialog template " + name + " is damaged\n");
    abort();
  }

  int width = MulDiv(layout.cx, kBaseUnitX, 4);
  int height = MulDiv(layout.cy, kBaseUnitY, 8);
  int x = MulDiv(layout.x, kBaseUnitX, 4);
  int y = MulDiv(layout.y, kBaseUnitY, 8);
  if (layout.style & DS_CENTER) {
    x = (sim::screen().width - width) / 2;
    y = (sim::screen().height - height) / 2;
  }
  const char* className = layout.className.empty() ? "#32770" : layout.className.c_str();
  HWND dialog = CreateWindowExA(layout.exStyle, className, layout.title.c_str(),
                                layout.style & ~static_cast<DWORD>(WS_VISIBLE), x, y, width, height, owner, nullptr,
                                instance, nullptr);
  if (dialog == nullptr) return nullptr;
  state().history.push_back(name);
  DialogState& record = state().dialogs[dialog];
  record.templateName = name;
  record.procedure = procedure;
  if (modal && owner != nullptr) {
    HWND topOwner = sim::findWindow(dialog)->owner;
    if (IsWindowEnabled(topOwner)) {
      EnableWindow(topOwner, FALSE);
      record.disabledOwner = topOwner;
    }
  }

  for (const ItemTemplate& item : layout.items) {
    HWND control = CreateWindowExA(
        item.exStyle, item.className.c_str(), item.text.c_str(), item.style | WS_CHILD,
        MulDiv(item.x, kBaseUnitX, 4), MulDiv(item.y, kBaseUnitY, 8), MulDiv(item.cx, kBaseUnitX, 4),
        MulDiv(item.cy, kBaseUnitY, 8), dialog, reinterpret_cast<HMENU>(static_cast<intptr_t>(item.id)), instance,
        nullptr);
    if (control == nullptr) {
      // A control that cannot be made fails the whole dialog.
      if (DialogState* failed = dialogOf(dialog)) endModal(failed);
      DestroyWindow(dialog);
      return nullptr;
    }
  }

  HWND focus = firstTabStop(dialog);
  if (SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param) != 0 && IsWindow(dialog)) {
    if ((focus = firstTabStop(dialog)) != nullptr) SetFocus(focus);
  }
  DialogState* created = dialogOf(dialog);
  if (created != nullptr && !created->ended && (layout.style & WS_VISIBLE)) ShowWindow(dialog, SW_SHOW);
  return dialog;
}

}  // namespace

namespace sim {

// The procedure of the dialog class: the program's dialog procedure first,
// then what the system does for a dialog.
LRESULT CALLBACK dialogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogState* record = dialogOf(dialog);
  DLGPROC procedure = record != nullptr ? record->procedure : nullptr;
  INT_PTR handled = procedure != nullptr ? procedure(dialog, message, wParam, lParam) : FALSE;
  switch (message) {
    case WM_NCDESTROY:
      state().dialogs.erase(dialog);
      return 0;
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      // These results are the procedure's own answer (a brush, or whether
      // to set the focus), not a handled flag.
      return handled;
  }
  if (handled) return 0;
  switch (message) {
    case WM_CLOSE: {
      // The close box and Alt+F4 act as the Cancel button, unless it is disabled.
      HWND cancel = GetDlgItem(dialog, IDCANCEL);
      if (cancel == nullptr || IsWindowEnabled(cancel))
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
      return 0;
    }
    case DM_GETDEFID:
      for (HWND control : liveWindows()) {
        const WindowRecord* child = findWindow(control);
        if (child->parent == dialog && strcasecmp(child->className.c_str(), "Button") == 0 &&
            (child->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
          return MAKELONG(child->id, DC_HASDEFID);
      }
      return 0;
    case WM_ERASEBKGND:
      return 1;
    default:
      return DefWindowProcA(dialog, message, wParam, lParam);
  }
}

std::string dialogTemplate(HWND dialog) {
  DialogState* record = dialogOf(dialog);
  return record != nullptr ? record->templateName : "";
}

HWND activeDialog() {
  for (auto it = state().dialogs.rbegin(); it != state().dialogs.rend(); ++it)
    if (IsWindowVisible(it->first)) return it->first;
  return nullptr;
}

const std::vector<std::string>& dialogHistory() { return state().history; }

void failDialogCreation(const std::string& templateName) { state().failures.push_back(templateName); }

std::string controlText(HWND dialog, int id) {
  const WindowRecord* control = findWindow(GetDlgItem(dialog, id));
  return control != nullptr ? control->text : "";
}

int focusedControlId(HWND dialog) {
  HWND focus = GetFocus();
  const WindowRecord* record = findWindow(focus);
  return record != nullptr && record->parent == dialog ? record->id : 0;
}

bool pressKey(int virtualKey) {
  HWND target = GetFocus();
  if (target == nullptr) target = activeDialog();
  if (target == nullptr) return false;
  return PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), 0) != 0;
}

bool clickCloseBox(HWND dialog) {
  const WindowRecord* record = findWindow(dialog);
  if (record == nullptr || !(record->style & WS_SYSMENU) || !record->enabled()) return false;
  SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  return true;
}

}  // namespace sim

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc,
                               LPARAM initParam) {
  HWND dialog = createDialog(instance, templateName, owner, dialogProc, initParam, true);
  if (dialog == nullptr) return -1;
  // A dialog ended by its own WM_INITDIALOG is never shown.
  if (!dialogOf(dialog)->ended) ShowWindow(dialog, SW_SHOW);
  MSG message;
  while (IsWindow(dialog) && !dialogOf(dialog)->ended) {
    if (!GetMessageA(&message, nullptr, 0, 0)) {
      // WM_QUIT ends the dialog and stays for the loop outside.
      PostMessageA(nullptr, WM_QUIT, message.wParam, 0);
      break;
    }
    if (!IsDialogMessageA(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  DialogState* record = dialogOf(dialog);
  if (record == nullptr) return -1;
  INT_PTR result = record->ended ? record->result : 0;
  endModal(record);
  DestroyWindow(dialog);
  return result;
}

HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc,
                               LPARAM initParam) {
  return createDialog(instance, templateName, owner, dialogProc, initParam, false);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  DialogState* record = dialogOf(dialog);
  if (record == nullptr) {
    sim::machine().lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  record->ended = true;
  record->result = result;
  endModal(record);
  SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
  // Wakes a modal loop that waits for a message.
  PostMessageA(dialog, WM_NULL, 0, 0);
  return TRUE;
}

BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG message) {
  if (dialog == nullptr || sim::findWindow(dialog) == nullptr) return FALSE;
  if (message->hwnd != dialog && !isDescendant(message->hwnd, dialog)) return FALSE;
  if (message->message == WM_KEYDOWN) {
    switch (message->wParam) {
      case VK_ESCAPE:
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
        return TRUE;
      case VK_RETURN: {
        // A focused push button answers Enter itself; otherwise the default
        // button does, unless it is disabled; without one, IDOK.
        HWND focus = GetFocus();
        if (isDescendant(focus, dialog) && isPushButton(focus)) {
          SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(sim::findWindow(focus)->id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(focus));
          return TRUE;
        }
        LRESULT defaultId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
        if (HIWORD(defaultId) == DC_HASDEFID) {
          HWND button = GetDlgItem(dialog, LOWORD(defaultId));
          if (button == nullptr || IsWindowEnabled(button))
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(LOWORD(defaultId), BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
        } else {
          SendMessageA(dialog, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        }
        return TRUE;
      }
      default:
        break;
    }
  }
  TranslateMessage(message);
  DispatchMessageA(message);
  return TRUE;
}

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
  return control != nullptr && SetWindowTextA(control, text);
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) {
    if (size > 0) text[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(control, text, size));
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND control = GetDlgItem(dialog, id);
  return control != nullptr ? SendMessageA(control, message, wParam, lParam) : 0;
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return FALSE;
  SendMessageA(control, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control != nullptr ? static_cast<UINT>(SendMessageA(control, BM_GETCHECK, 0, 0)) : 0;
}

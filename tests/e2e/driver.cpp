// Drives a Windows program as a user would, from a script of one command per
// line, and prints one line per check. Runs in the same Wine prefix as the
// program it drives. Exit code 0 when every step held, 1 otherwise.
//
//   start PROGRAM [ARGS...]   start the program (relative to this driver's folder,
//                             or a full path in quotes); one still running is set aside
//   back                      the program set aside last becomes the program again
//   startlink LINK            start the target of the shell link LINK (a path relative
//                             to the current user's Programs folder in the Start
//                             Menu) in the target's own folder, as the shell does
//   follow                    the program has started another program (and may have
//                             ended): that one becomes the program
//   hold PATH                 open the file PATH and keep it open, sharing nothing but
//                             reading, until the driver ends (a file in use)
//   window CAPTION            wait until the program shows a dialog or message box
//                             with this caption; it becomes the current window
//   showing PATTERN           wait until the program shows a dialog or message box
//                             holding a static text that matches PATTERN (below);
//                             it becomes the current window. Tells apart windows
//                             that share a caption, such as a page and its question
//   text PATTERN              a static text of the current window matches PATTERN:
//                             "\n" is a line break, "#" one or more digits,
//                             "*" any run of characters
//   press ID|OK|CANCEL|YES|NO press a button of the current window
//   click ID                  click the control ID of the current window as the mouse
//                             would (a check box changes its state)
//   checked ID 0|1            the check box ID of the current window is clear (0) or set (1)
//   type ID TEXT              replace the text of the edit field ID of the current window
//   field ID PATTERN          the text of the control ID of the current window matches
//                             PATTERN (waits for it, as text does)
//   gone                      wait until the current window is closed
//   close                     close the current window as its close box would
//   controls                  print the current dialog as a layout table (below)
//   layout FILE               the current dialog matches the layout table in FILE
//                             (a path relative to this script's folder)
//   exit CODE                 wait for the program to end with this exit code
//   timeout SECONDS           how long each later step waits (30 s at the start)
//   manifest PROGRAM TEXT     PROGRAM's application manifest (resource 1 of
//                             type 24) contains TEXT
//   icons PROGRAM GROUP...    PROGRAM (not started) holds exactly these icon
//                             groups in this order, each with the same two
//                             pictures: 32 x 32 and 16 x 16, 16 colours
//   screenshot FILE           save the whole screen as a 24-bit .bmp; a relative
//                             FILE lands in the folder named by the environment
//                             variable VM_E2E_SCREENS, else the current folder
//   stamp NAME                print "stamp NAME MS", MS a millisecond clock, so that
//                             a script can time the span between two steps
//   closeclass CLASS          ask the program's top-level window of class CLASS to close,
//                             as the taskbar's Close and Alt+F4 do (WM_SYSCOMMAND
//                             SC_CLOSE) and as another program may (WM_CLOSE), and wait
//                             until the program has taken both
//   catch ID PATTERN          let the program run in slices of a millisecond, its
//                             threads held in between, until it shows a dialog holding
//                             a static text that matches PATTERN; press the button ID
//                             there while the program is held, then let it go on. For a
//                             window a fast program shows only briefly (the Installing
//                             page); the dialog becomes the current window
//   plant "PATH" PATTERN      as catch, but instead of pressing a button, write other
//                             bytes to the file PATH while the program is held, at the
//                             first match where PATH exists and the program has closed it
//   # ...                     a comment
//
// A layout table describes a dialog as the dialog manager builds it from its
// template, one line each, positions and sizes in dialog units:
//   caption "TEXT"
//   size W,H                  the client area
//   font "FACE" POINTS        the template's font
//   style NAME|NAME...        e.g. DS_MODALFRAME|WS_POPUP|WS_CAPTION
//   control ID CLASS X,Y,W,H NAME|NAME... "TEXT"    one per control, in tab order
// In TEXT, "\n" is a line break. Every control must carry WS_CHILD and
// WS_VISIBLE without the table naming them. What the system adds on its own is
// not compared: WS_CLIPSIBLINGS and DS_3DLOOK on every dialog, and the 3-D
// client edge (WS_EX_CLIENTEDGE) that replaces WS_BORDER on an edit field
// counts as WS_BORDER. A dialog marked with the window property
// "CreatedHidden" (see dialog_probe.cpp) was created without WS_VISIBLE. An
// icon control sizes itself to its icon, as Windows does, so only its position
// is compared, and it must hold an icon of the system's icon size. The font is
// compared when the program publishes it as dialog_probe.exe does, and
// positions are converted with the base units of that font, else with those
// of the table's font.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// How long a step waits; a scenario may change it for the steps after.
DWORD stepTimeoutMs = 30000;
const DWORD kPollMs = 50;
const DWORD kScreenSettleMs = 500;

PROCESS_INFORMATION program = {};
// Programs still running when a later start took their place, the latest last.
std::vector<PROCESS_INFORMATION> setAside;
HWND current = nullptr;
std::string programFolder;
std::string scriptFolder;

bool matches(const char* pattern, const char* text) {
  if (*pattern == '\0') return *text == '\0';
  if (*pattern == '*') {
    for (const char* rest = text;; ++rest) {
      if (matches(pattern + 1, rest)) return true;
      if (*rest == '\0') return false;
    }
  }
  if (*pattern == '#') {
    if (*text < '0' || *text > '9') return false;
    const char* rest = text;
    while (*rest >= '0' && *rest <= '9') {
      ++rest;
      if (matches(pattern + 1, rest)) return true;
    }
    return false;
  }
  if (*pattern == '\\' && pattern[1] == 'n') {
    // A box's line break may reach us as CR LF or as LF alone.
    if (text[0] == '\r' && text[1] == '\n') return matches(pattern + 2, text + 2);
    return *text == '\n' && matches(pattern + 2, text + 1);
  }
  return *pattern == *text && matches(pattern + 1, text + 1);
}

std::string printable(const std::string& text) {
  std::string out;
  for (char ch : text) {
    if (ch == '\n')
      out += "\\n";
    else if (ch != '\r')
      out += ch;
  }
  return out;
}

// A visible dialog or message box of the program being driven.
bool isProgramDialog(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != program.dwProcessId || !IsWindowVisible(window)) return false;
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  return strcmp(className, "#32770") == 0;
}

// Calls `condition` until it holds or the step's time is up.
template <typename Condition>
bool pollUntil(Condition condition) {
  for (DWORD waited = 0; waited < stepTimeoutMs; waited += kPollMs) {
    if (condition()) return true;
    Sleep(kPollMs);
  }
  return false;
}

struct StaticTexts {
  std::vector<std::string> texts;
};

BOOL CALLBACK collectStaticText(HWND child, LPARAM parameter) {
  char className[64] = "";
  GetClassNameA(child, className, sizeof className);
  if (_stricmp(className, "Static") != 0) return TRUE;
  char text[4096] = "";
  GetWindowTextA(child, text, sizeof text);
  if (text[0] != '\0') reinterpret_cast<StaticTexts*>(parameter)->texts.push_back(text);
  return TRUE;
}

bool programEnded() { return WaitForSingleObject(program.hProcess, 0) == WAIT_OBJECT_0; }

bool startProgram(const std::string& commandLine) {
  if (program.hProcess != nullptr && !programEnded()) setAside.push_back(program);
  // A program named in quotes is named in full.
  std::string line = commandLine.compare(0, 1, "\"") == 0 ? commandLine : programFolder + commandLine;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &program)) {
    printf("cannot start %s (error %lu)\n", line.c_str(), GetLastError());
    return false;
  }
  return true;
}

bool backToEarlierProgram() {
  if (setAside.empty()) {
    printf("no earlier program is still running\n");
    return false;
  }
  program = setAside.back();
  setAside.pop_back();
  current = nullptr;
  return true;
}

// The target of a shell link, as the shell would start it.
bool shortcutTarget(const std::string& link, std::string* target) {
  char programs[MAX_PATH] = "";
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROGRAMS, nullptr, 0, programs))) {
    printf("cannot find the Programs folder\n");
    return false;
  }
  std::string path = std::string(programs) + "\\" + link;
  WCHAR widePath[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
  bool read = false;
  char buffer[MAX_PATH] = "";
  if (SUCCEEDED(CoInitialize(nullptr))) {
    IShellLinkA* shellLink = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shellLink)))) {
      if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        read = SUCCEEDED(file->Load(widePath, STGM_READ)) &&
               shellLink->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK;
        file->Release();
      }
      shellLink->Release();
    }
    CoUninitialize();
  }
  if (!read) {
    printf("cannot read the shortcut %s\n", path.c_str());
    return false;
  }
  *target = buffer;
  return true;
}

bool startShortcutTarget(const std::string& link) {
  std::string target;
  if (!shortcutTarget(link, &target)) return false;
  std::string folder = target.substr(0, target.find_last_of('\\'));
  std::string line = "\"" + target + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  if (!CreateProcessA(target.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &program)) {
    printf("cannot start %s (error %lu)\n", target.c_str(), GetLastError());
    return false;
  }
  return true;
}

bool holdFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    printf("cannot open %s (error %lu)\n", path.c_str(), GetLastError());
    return false;
  }
  // Closed by Windows when the driver ends.
  return true;
}

// The newest process whose parent is the program becomes the program.
bool followChild() {
  DWORD parent = program.dwProcessId;
  for (DWORD waited = 0; waited < stepTimeoutMs; waited += kPollMs) {
    DWORD child = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
      PROCESSENTRY32 entry = {};
      entry.dwSize = sizeof entry;
      for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == parent && entry.th32ProcessID != parent) child = entry.th32ProcessID;
      CloseHandle(snapshot);
    }
    HANDLE process = child != 0 ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, child) : nullptr;
    if (process != nullptr) {
      CloseHandle(program.hProcess);
      CloseHandle(program.hThread);
      program.hProcess = process;
      program.hThread = nullptr;
      program.dwProcessId = child;
      current = nullptr;
      return true;
    }
    Sleep(kPollMs);
  }
  printf("the program started no other program within %lu ms\n", stepTimeoutMs);
  return false;
}

// A dialog of the program with this caption (when given) holding a static
// text that matches this pattern (when given).
struct DialogSearch {
  const char* caption;
  const char* pattern;
  HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM parameter) {
  DialogSearch* search = reinterpret_cast<DialogSearch*>(parameter);
  if (!isProgramDialog(window)) return TRUE;
  if (search->caption != nullptr) {
    char caption[256] = "";
    GetWindowTextA(window, caption, sizeof caption);
    if (strcmp(caption, search->caption) != 0) return TRUE;
  }
  if (search->pattern != nullptr) {
    StaticTexts found;
    EnumChildWindows(window, collectStaticText, reinterpret_cast<LPARAM>(&found));
    if (std::none_of(found.texts.begin(), found.texts.end(),
                     [search](const std::string& text) { return matches(search->pattern, text.c_str()); }))
      return TRUE;
  }
  search->found = window;
  return FALSE;
}

// Waits for the dialog `search` describes; it becomes the current window.
bool waitForDialog(DialogSearch search, const std::string& what) {
  bool ended = false;
  bool found = pollUntil([&search, &ended] {
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
    ended = search.found == nullptr && programEnded();
    return search.found != nullptr || ended;
  });
  if (found && !ended) {
    current = search.found;
    return true;
  }
  if (ended) {
    DWORD code = 0;
    GetExitCodeProcess(program.hProcess, &code);
    printf("the program ended (exit code %lu) without showing %s\n", code, what.c_str());
  } else {
    printf("no window shows %s within %lu ms\n", what.c_str(), stepTimeoutMs);
  }
  return false;
}

bool waitForWindow(const std::string& caption) {
  return waitForDialog({caption.c_str(), nullptr, nullptr}, "the caption \"" + caption + "\"");
}

bool waitForWindowShowing(const std::string& pattern) {
  return waitForDialog({nullptr, pattern.c_str(), nullptr}, "\"" + pattern + "\"");
}

bool checkText(const std::string& pattern) {
  StaticTexts found;
  // The texts may still be filled in just after the window appears.
  if (pollUntil([&] {
        found.texts.clear();
        EnumChildWindows(current, collectStaticText, reinterpret_cast<LPARAM>(&found));
        return std::any_of(found.texts.begin(), found.texts.end(),
                           [&pattern](const std::string& text) { return matches(pattern.c_str(), text.c_str()); });
      }))
    return true;
  printf("no text matches \"%s\"; the window shows:\n", pattern.c_str());
  for (const std::string& text : found.texts) printf("  \"%s\"\n", printable(text).c_str());
  return false;
}

int buttonId(const std::string& name) {
  if (name == "OK") return IDOK;
  if (name == "CANCEL") return IDCANCEL;
  if (name == "YES") return IDYES;
  if (name == "NO") return IDNO;
  return atoi(name.c_str());
}

bool press(const std::string& name) {
  int id = buttonId(name);
  HWND button = GetDlgItem(current, id);
  if (button == nullptr) {
    printf("the window has no button %s\n", name.c_str());
    return false;
  }
  PostMessageA(current, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return true;
}

// The program's threads, each opened for suspending and resuming.
std::vector<HANDLE> programThreads() {
  std::vector<HANDLE> threads;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return threads;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != program.dwProcessId) continue;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
    if (thread != nullptr) threads.push_back(thread);
  }
  CloseHandle(snapshot);
  return threads;
}

// Looks for the window between slices of the program's running, so that a
// window it shows for a few milliseconds is found while it is still up. The
// search asks the window server only (texts of another process's windows
// come from there, not from the held program), and the press is a posted
// message that the program takes once it goes on.
// What an action does while the program is held: done, failed, or not yet
// (the program goes on until it shows the pattern again).
enum class Held { done, failed, notYet };

// Runs the program in slices of a millisecond until it shows PATTERN, then
// does `act` while its threads are held.
template <typename Action>
bool holdAtWindow(const std::string& pattern, Action act) {
  DialogSearch search = {nullptr, nullptr, nullptr};
  search.pattern = pattern.c_str();
  for (DWORD start = GetTickCount(); GetTickCount() - start < stepTimeoutMs;) {
    std::vector<HANDLE> threads = programThreads();
    for (HANDLE thread : threads) SuspendThread(thread);
    search.found = nullptr;
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
    Held outcome = Held::notYet;
    if (search.found != nullptr) {
      current = search.found;
      outcome = act();
    }
    for (HANDLE thread : threads) {
      ResumeThread(thread);
      CloseHandle(thread);
    }
    if (outcome != Held::notYet) return outcome == Held::done;
    if (programEnded()) {
      printf("the program ended without showing \"%s\"\n", pattern.c_str());
      return false;
    }
    Sleep(1);
  }
  printf("no window shows \"%s\" within %lu ms\n", pattern.c_str(), stepTimeoutMs);
  return false;
}

bool catchWindow(const std::string& argument) {
  size_t space = argument.find(' ');
  if (space == std::string::npos) {
    printf("catch wants a button and a pattern, not \"%s\"\n", argument.c_str());
    return false;
  }
  std::string button = argument.substr(0, space);
  return holdAtWindow(argument.substr(space + 1), [&] { return press(button) ? Held::done : Held::failed; });
}

// Someone else writing the file while the program is held: other bytes
// under its name.
bool plantFile(const std::string& argument) {
  size_t close = argument.size() > 1 && argument[0] == '"' ? argument.find('"', 1) : std::string::npos;
  if (close == std::string::npos || close + 2 > argument.size()) {
    printf("plant wants a quoted path and a pattern, not \"%s\"\n", argument.c_str());
    return false;
  }
  std::string path = argument.substr(1, close - 1);
  return holdAtWindow(argument.substr(close + 2), [&] {
    // Not there yet, or still open in the program (which shares nothing
    // while it writes): the program goes on to its next file.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Held::notYet;
    const char planted[] = "MZ planted by the test driver";
    DWORD written = 0;
    bool done = WriteFile(file, planted, sizeof planted - 1, &written, nullptr) && written == sizeof planted - 1 &&
                SetEndOfFile(file);
    CloseHandle(file);
    if (!done) printf("cannot write %s\n", path.c_str());
    return done ? Held::done : Held::failed;
  });
}

struct ClassSearch {
  const char* className;
  HWND found;
};

BOOL CALLBACK findProgramWindowOfClass(HWND window, LPARAM parameter) {
  ClassSearch* search = reinterpret_cast<ClassSearch*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  if (processId != program.dwProcessId || strcmp(className, search->className) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

// Sent, not posted, so that the step ends once the program has handled both.
bool closeWindowOfClass(const std::string& className) {
  ClassSearch search = {className.c_str(), nullptr};
  EnumWindows(findProgramWindowOfClass, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) {
    printf("the program has no window of class %s\n", className.c_str());
    return false;
  }
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(search.found, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, stepTimeoutMs, &ignored);
  SendMessageTimeoutA(search.found, WM_CLOSE, 0, 0, SMTO_NORMAL, stepTimeoutMs, &ignored);
  return true;
}

HWND controlOfCurrent(const std::string& id) {
  HWND control = GetDlgItem(current, atoi(id.c_str()));
  if (control == nullptr) printf("the window has no control %s\n", id.c_str());
  return control;
}

// Splits "ID REST" into the control and the rest.
bool controlAndText(const std::string& argument, HWND* control, std::string* text) {
  size_t space = argument.find(' ');
  *control = controlOfCurrent(argument.substr(0, space));
  *text = space == std::string::npos ? "" : argument.substr(space + 1);
  return *control != nullptr;
}

bool click(const std::string& id) {
  HWND control = controlOfCurrent(id);
  // Posted: a click that opens a modal box must not hold the driver.
  return control != nullptr && PostMessageA(control, BM_CLICK, 0, 0) != 0;
}

bool checkChecked(const std::string& argument) {
  HWND control = nullptr;
  std::string expected;
  if (!controlAndText(argument, &control, &expected)) return false;
  std::string state;
  if (pollUntil([&] {
        state = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? "1" : "0";
        return state == expected;
      }))
    return true;
  printf("check box %s is %s, expected %s\n", argument.substr(0, argument.find(' ')).c_str(), state.c_str(),
         expected.c_str());
  return false;
}

bool typeText(const std::string& argument) {
  HWND control = nullptr;
  std::string text;
  if (!controlAndText(argument, &control, &text)) return false;
  return SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
}

bool checkField(const std::string& argument) {
  HWND control = nullptr;
  std::string pattern;
  if (!controlAndText(argument, &control, &pattern)) return false;
  char text[4096] = "";
  if (pollUntil([&] {
        SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        return matches(pattern.c_str(), text);
      }))
    return true;
  printf("control %s holds \"%s\", not \"%s\"\n", argument.substr(0, argument.find(' ')).c_str(),
         printable(text).c_str(), pattern.c_str());
  return false;
}

bool waitUntilGone() {
  if (pollUntil([] { return !IsWindow(current) || !IsWindowVisible(current); })) return true;
  printf("the window is still open after %lu ms\n", stepTimeoutMs);
  return false;
}

bool checkExit(const std::string& expected) {
  if (WaitForSingleObject(program.hProcess, stepTimeoutMs) != WAIT_OBJECT_0) {
    printf("the program did not end within %lu ms\n", stepTimeoutMs);
    TerminateProcess(program.hProcess, 99);
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(program.hProcess, &code);
  if (code != strtoul(expected.c_str(), nullptr, 10)) {
    printf("exit code %lu, expected %s\n", code, expected.c_str());
    return false;
  }
  return true;
}

// ---- Dialog layouts

struct StyleName {
  const char* name;
  DWORD value;
  DWORD mask;  // the bits the name speaks for: a flag, or a field such as a button's type
};

#define FLAG(style) {#style, style, style}
#define FIELD(style, mask) {#style, style, mask}

const StyleName kWindowStyles[] = {
    FLAG(WS_POPUP),       FLAG(WS_CHILD),        FLAG(WS_MINIMIZE),
    FLAG(WS_VISIBLE),     FLAG(WS_DISABLED),     FLAG(WS_CLIPSIBLINGS),
    FLAG(WS_CLIPCHILDREN), FLAG(WS_MAXIMIZE),    FIELD(WS_CAPTION, WS_CAPTION),
    FIELD(WS_BORDER, WS_CAPTION), FIELD(WS_DLGFRAME, WS_CAPTION), FLAG(WS_VSCROLL),
    FLAG(WS_HSCROLL),     FLAG(WS_SYSMENU),      FLAG(WS_THICKFRAME),
};
// The same two bits mean different things for a control and for a top-level window.
const StyleName kControlStyles[] = {FLAG(WS_GROUP), FLAG(WS_TABSTOP)};
const StyleName kTopLevelStyles[] = {FLAG(WS_MINIMIZEBOX), FLAG(WS_MAXIMIZEBOX)};
const StyleName kDialogStyles[] = {
    FLAG(DS_ABSALIGN), FLAG(DS_SYSMODAL),  FLAG(DS_3DLOOK),     FLAG(DS_FIXEDSYS),
    FLAG(DS_NOFAILCREATE), FLAG(DS_LOCALEDIT), FLAG(DS_SETFONT), FLAG(DS_MODALFRAME),
    FLAG(DS_NOIDLEMSG), FLAG(DS_SETFOREGROUND), FLAG(DS_CONTROL), FLAG(DS_CENTER),
    FLAG(DS_CENTERMOUSE), FLAG(DS_CONTEXTHELP),
};
const StyleName kStaticStyles[] = {
    FIELD(SS_LEFT, SS_TYPEMASK),  FIELD(SS_CENTER, SS_TYPEMASK), FIELD(SS_RIGHT, SS_TYPEMASK),
    FIELD(SS_ICON, SS_TYPEMASK),  FIELD(SS_BITMAP, SS_TYPEMASK), FIELD(SS_ETCHEDFRAME, SS_TYPEMASK),
    FLAG(SS_NOPREFIX),            FLAG(SS_NOTIFY),               FLAG(SS_CENTERIMAGE),
    FLAG(SS_RIGHTJUST),           FLAG(SS_REALSIZEIMAGE),        FLAG(SS_SUNKEN),
};
const StyleName kButtonStyles[] = {
    FIELD(BS_PUSHBUTTON, BS_TYPEMASK),  FIELD(BS_DEFPUSHBUTTON, BS_TYPEMASK),
    FIELD(BS_CHECKBOX, BS_TYPEMASK),    FIELD(BS_AUTOCHECKBOX, BS_TYPEMASK),
    FIELD(BS_RADIOBUTTON, BS_TYPEMASK), FIELD(BS_3STATE, BS_TYPEMASK),
    FIELD(BS_AUTO3STATE, BS_TYPEMASK),  FIELD(BS_GROUPBOX, BS_TYPEMASK),
    FIELD(BS_AUTORADIOBUTTON, BS_TYPEMASK), FLAG(BS_LEFTTEXT), FLAG(BS_ICON), FLAG(BS_BITMAP),
    FIELD(BS_CENTER, BS_CENTER),        FIELD(BS_LEFT, BS_CENTER),
    FIELD(BS_RIGHT, BS_CENTER),         FIELD(BS_VCENTER, BS_VCENTER),
    FIELD(BS_TOP, BS_VCENTER),          FIELD(BS_BOTTOM, BS_VCENTER),
    FLAG(BS_MULTILINE),                 FLAG(BS_NOTIFY), FLAG(BS_FLAT),
};
const StyleName kEditStyles[] = {
    FIELD(ES_LEFT, ES_CENTER | ES_RIGHT), FIELD(ES_CENTER, ES_CENTER | ES_RIGHT),
    FIELD(ES_RIGHT, ES_CENTER | ES_RIGHT), FLAG(ES_MULTILINE), FLAG(ES_UPPERCASE),
    FLAG(ES_LOWERCASE), FLAG(ES_PASSWORD), FLAG(ES_AUTOVSCROLL), FLAG(ES_AUTOHSCROLL),
    FLAG(ES_NOHIDESEL), FLAG(ES_OEMCONVERT), FLAG(ES_READONLY), FLAG(ES_WANTRETURN),
    FLAG(ES_NUMBER),
};
const StyleName kProgressStyles[] = {FLAG(PBS_SMOOTH), FLAG(PBS_VERTICAL)};

#undef FLAG
#undef FIELD

struct StyleTable {
  const StyleName* names;
  size_t count;
};

template <size_t N>
StyleTable table(const StyleName (&names)[N]) {
  return {names, N};
}

// The names that apply to a window of this class: the class's own first, so
// that a field such as SS_ICON is named before the window bits.
std::vector<StyleTable> styleTablesFor(const std::string& className) {
  std::vector<StyleTable> tables;
  if (className == "#32770") {
    tables.push_back(table(kDialogStyles));
    tables.push_back(table(kTopLevelStyles));
  } else {
    if (_stricmp(className.c_str(), "Static") == 0) tables.push_back(table(kStaticStyles));
    if (_stricmp(className.c_str(), "Button") == 0) tables.push_back(table(kButtonStyles));
    if (_stricmp(className.c_str(), "Edit") == 0) tables.push_back(table(kEditStyles));
    if (_stricmp(className.c_str(), PROGRESS_CLASSA) == 0) tables.push_back(table(kProgressStyles));
    tables.push_back(table(kControlStyles));
  }
  tables.push_back(table(kWindowStyles));
  return tables;
}

std::string styleText(const std::string& className, DWORD style) {
  std::string text;
  DWORD named = 0;
  for (const StyleTable& names : styleTablesFor(className)) {
    for (size_t i = 0; i < names.count; ++i) {
      const StyleName& entry = names.names[i];
      if ((named & entry.mask) != 0 || (style & entry.mask) != entry.value) continue;
      text += (text.empty() ? "" : "|") + std::string(entry.name);
      named |= entry.mask;
    }
  }
  if ((style & ~named) != 0) {
    char rest[16];
    snprintf(rest, sizeof rest, "0x%lx", static_cast<unsigned long>(style & ~named));
    text += (text.empty() ? "" : "|") + std::string(rest);
  }
  return text.empty() ? "0" : text;
}

bool parseStyle(const std::string& className, const std::string& text, DWORD* style) {
  *style = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t bar = text.find('|', start);
    std::string name = text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    bool known = false;
    if (name.compare(0, 2, "0x") == 0 || name == "0") {
      *style |= strtoul(name.c_str(), nullptr, 16);
      known = true;
    }
    for (const StyleTable& names : styleTablesFor(className))
      for (size_t i = 0; i < names.count && !known; ++i)
        if (name == names.names[i].name) {
          *style |= names.names[i].value;
          known = true;
        }
    if (!known) {
      printf("unknown style \"%s\" for class %s\n", name.c_str(), className.c_str());
      return false;
    }
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return true;
}

struct ControlLayout {
  int id = 0;
  std::string className;
  RECT box = {};  // left, top, width, height, in dialog units
  DWORD style = 0;
  std::string text;
  SIZE pixels = {};  // the size as built, in pixels
  bool holdsIcon = false;
};

struct DialogLayout {
  std::string caption;
  SIZE size = {};
  std::string fontFace = "MS Sans Serif";  // every dialog of the programs uses it
  int fontPoints = 8;
  DWORD style = 0;
  std::vector<ControlLayout> controls;
};

INT_PTR CALLBACK emptyDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The dialog base units of a font: the dialog manager places a template's
// x and w at x * units.cx / 4 pixels, its y and h at y * units.cy / 8. Found
// by building an empty dialog in that font here, since MapDialogRect works
// only on the dialogs of its own process.
bool dialogBaseUnits(const std::string& face, int points, SIZE* units) {
  std::vector<WORD> words;
  DWORD style = WS_POPUP | DS_SETFONT;
  // DLGTEMPLATE: style, extended style, no items, position and size 0;
  // then no menu, the standard class, an empty title, and the font.
  const WORD header[] = {LOWORD(style), HIWORD(style), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  words.assign(header, header + sizeof header / sizeof header[0]);
  words.push_back(static_cast<WORD>(points));
  for (char ch : face) words.push_back(static_cast<BYTE>(ch));
  words.push_back(0);
  HWND sample = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                           reinterpret_cast<LPCDLGTEMPLATEA>(words.data()), nullptr,
                                           emptyDialogProc, 0);
  if (sample == nullptr) {
    printf("cannot build a dialog in \"%s\" %d (error %lu)\n", face.c_str(), points, GetLastError());
    return false;
  }
  RECT box = {0, 0, 4, 8};
  MapDialogRect(sample, &box);
  DestroyWindow(sample);
  units->cx = box.right;
  units->cy = box.bottom;
  return true;
}

LONG toDialogX(LONG pixels, SIZE units) { return MulDiv(pixels, 4, units.cx); }
LONG toDialogY(LONG pixels, SIZE units) { return MulDiv(pixels, 8, units.cy); }

bool readDialogLayout(HWND dialog, DialogLayout* layout) {
  HANDLE faceAtom = GetPropA(dialog, "FontFace");
  if (faceAtom != nullptr) {
    char face[LF_FACESIZE] = "";
    GlobalGetAtomNameA(static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(faceAtom)), face, sizeof face);
    layout->fontFace = face;
    layout->fontPoints = static_cast<int>(reinterpret_cast<ULONG_PTR>(GetPropA(dialog, "FontPoints")));
  }
  SIZE units;
  if (!dialogBaseUnits(layout->fontFace, layout->fontPoints, &units)) return false;
  char text[4096] = "";
  GetWindowTextA(dialog, text, sizeof text);
  layout->caption = text;
  RECT client;
  GetClientRect(dialog, &client);
  layout->size = {toDialogX(client.right, units), toDialogY(client.bottom, units)};
  layout->style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)) & ~(WS_CLIPSIBLINGS | DS_3DLOOK);
  if (GetPropA(dialog, "CreatedHidden") != nullptr) layout->style &= ~WS_VISIBLE;
  layout->controls.clear();
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    ControlLayout control;
    control.id = static_cast<short>(GetDlgCtrlID(child));  // -1 is stored as 0xFFFF
    char className[64] = "";
    GetClassNameA(child, className, sizeof className);
    control.className = className;
    GetWindowTextA(child, text, sizeof text);
    control.text = text;
    control.style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
    if (GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) control.style |= WS_BORDER;
    RECT box;
    GetWindowRect(child, &box);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&box), 2);
    control.pixels = {box.right - box.left, box.bottom - box.top};
    control.box = {toDialogX(box.left, units), toDialogY(box.top, units), toDialogX(control.pixels.cx, units),
                   toDialogY(control.pixels.cy, units)};
    control.holdsIcon = SendMessageA(child, STM_GETICON, 0, 0) != 0;
    layout->controls.push_back(control);
  }
  return true;
}

std::string quoted(const std::string& text) { return "\"" + printable(text) + "\""; }

std::string boxText(const RECT& box) {
  char text[64];
  snprintf(text, sizeof text, "%ld,%ld,%ld,%ld", box.left, box.top, box.right, box.bottom);
  return text;
}

std::string controlLine(const ControlLayout& control) {
  char id[16];
  snprintf(id, sizeof id, "%d", control.id);
  return std::string("control ") + id + " " + control.className + " " + boxText(control.box) + " " +
         styleText(control.className, control.style & ~(WS_CHILD | WS_VISIBLE)) + " " + quoted(control.text);
}

void printLayout(const DialogLayout& layout) {
  printf("caption %s\n", quoted(layout.caption).c_str());
  printf("size %ld,%ld\n", layout.size.cx, layout.size.cy);
  printf("font \"%s\" %d\n", layout.fontFace.c_str(), layout.fontPoints);
  printf("style %s\n", styleText("#32770", layout.style).c_str());
  for (const ControlLayout& control : layout.controls) printf("%s\n", controlLine(control).c_str());
}

bool printCurrentLayout() {
  DialogLayout layout;
  if (!readDialogLayout(current, &layout)) return false;
  printLayout(layout);
  return true;
}

// A quoted text of a table line, with "\n" for a line break.
bool unquote(const std::string& field, std::string* text) {
  if (field.size() < 2 || field.front() != '"' || field.back() != '"') return false;
  text->clear();
  for (size_t i = 1; i + 1 < field.size(); ++i) {
    if (field[i] == '\\' && field[i + 1] == 'n') {
      *text += '\n';
      ++i;
    } else {
      *text += field[i];
    }
  }
  return true;
}

bool parseLayoutLine(const std::string& line, DialogLayout* layout) {
  size_t space = line.find(' ');
  std::string keyword = line.substr(0, space);
  std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
  if (keyword == "caption") return unquote(rest, &layout->caption);
  if (keyword == "size") return sscanf(rest.c_str(), "%ld,%ld", &layout->size.cx, &layout->size.cy) == 2;
  if (keyword == "font") {
    size_t close = rest.rfind('"');
    return close != std::string::npos && unquote(rest.substr(0, close + 1), &layout->fontFace) &&
           sscanf(rest.c_str() + close + 1, "%d", &layout->fontPoints) == 1;
  }
  if (keyword == "style") return parseStyle("#32770", rest, &layout->style);
  if (keyword == "control") {
    ControlLayout control;
    char className[64], style[256];
    RECT& box = control.box;
    int consumed = 0;
    if (sscanf(rest.c_str(), "%d %63s %ld,%ld,%ld,%ld %255s %n", &control.id, className, &box.left, &box.top,
               &box.right, &box.bottom, style, &consumed) != 7)
      return false;
    control.className = className;
    if (!parseStyle(className, style, &control.style) || !unquote(rest.substr(consumed), &control.text))
      return false;
    control.style |= WS_CHILD | WS_VISIBLE;
    layout->controls.push_back(control);
    return true;
  }
  return false;
}

bool readLayoutTable(const std::string& path, DialogLayout* layout) {
  FILE* file = fopen(path.c_str(), "r");
  if (file == nullptr) {
    printf("cannot read %s\n", path.c_str());
    return false;
  }
  char buffer[4096];
  int lineNumber = 0;
  bool ok = true;
  while (ok && fgets(buffer, sizeof buffer, file) != nullptr) {
    ++lineNumber;
    std::string line = buffer;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    ok = parseLayoutLine(line, layout);
    if (!ok) printf("%s:%d: cannot read \"%s\"\n", path.c_str(), lineNumber, line.c_str());
  }
  fclose(file);
  return ok;
}

bool isIconControl(const ControlLayout& control) {
  return _stricmp(control.className.c_str(), "Static") == 0 && (control.style & SS_TYPEMASK) == SS_ICON;
}

// Prints what differs; true when nothing does.
bool sameControl(size_t index, const ControlLayout& expected, const ControlLayout& found) {
  std::string problems;
  if (found.id != expected.id) problems += " id";
  if (_stricmp(found.className.c_str(), expected.className.c_str()) != 0) problems += " class";
  if (found.style != expected.style) problems += " style";
  if (found.text != expected.text) problems += " text";
  if (isIconControl(expected)) {
    if (found.box.left != expected.box.left || found.box.top != expected.box.top) problems += " position";
    if (found.pixels.cx != GetSystemMetrics(SM_CXICON) || found.pixels.cy != GetSystemMetrics(SM_CYICON))
      problems += " icon-size";
    if (!found.holdsIcon) problems += " no-icon";
  } else if (memcmp(&found.box, &expected.box, sizeof found.box) != 0) {
    problems += " box";
  }
  if (problems.empty()) return true;
  printf("control %u differs in%s:\n  expected %s\n  found    %s\n", static_cast<unsigned>(index + 1),
         problems.c_str(), controlLine(expected).c_str(), controlLine(found).c_str());
  return false;
}

bool checkLayout(const std::string& path) {
  DialogLayout expected;
  if (!readLayoutTable(path, &expected)) return false;
  DialogLayout found;
  found.fontFace = expected.fontFace;
  found.fontPoints = expected.fontPoints;
  if (!readDialogLayout(current, &found)) return false;
  bool same = true;
  if (found.caption != expected.caption) {
    printf("caption %s, expected %s\n", quoted(found.caption).c_str(), quoted(expected.caption).c_str());
    same = false;
  }
  if (found.fontFace != expected.fontFace || found.fontPoints != expected.fontPoints) {
    printf("font \"%s\" %d, expected \"%s\" %d\n", found.fontFace.c_str(), found.fontPoints,
           expected.fontFace.c_str(), expected.fontPoints);
    same = false;
  }
  if (found.size.cx != expected.size.cx || found.size.cy != expected.size.cy) {
    printf("size %ld,%ld, expected %ld,%ld\n", found.size.cx, found.size.cy, expected.size.cx, expected.size.cy);
    same = false;
  }
  if (found.style != expected.style) {
    printf("style %s, expected %s\n", styleText("#32770", found.style).c_str(),
           styleText("#32770", expected.style).c_str());
    same = false;
  }
  size_t common = std::min(found.controls.size(), expected.controls.size());
  for (size_t i = 0; i < common; ++i) same = sameControl(i, expected.controls[i], found.controls[i]) && same;
  if (found.controls.size() != expected.controls.size()) {
    printf("%u controls, expected %u\n", static_cast<unsigned>(found.controls.size()),
           static_cast<unsigned>(expected.controls.size()));
    same = false;
  }
  if (!same) {
    printf("the dialog as built:\n");
    printLayout(found);
  }
  return same;
}

// ---- Icons

#pragma pack(push, 2)
struct IconGroupEntry {  // GRPICONDIRENTRY
  BYTE width;
  BYTE height;
  BYTE colourCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

BOOL CALLBACK collectResourceName(HMODULE, LPCSTR, LPSTR name, LONG_PTR parameter) {
  std::vector<std::string>* names = reinterpret_cast<std::vector<std::string>*>(parameter);
  if (IS_INTRESOURCE(name)) {
    char number[16];
    snprintf(number, sizeof number, "#%u", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name)));
    names->push_back(number);
  } else {
    names->push_back(name);
  }
  return TRUE;
}

std::string resourceBytes(HMODULE module, LPCSTR name, LPCSTR type) {
  HRSRC found = FindResourceA(module, name, type);
  HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  const char* data = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  return data != nullptr ? std::string(data, SizeofResource(module, found)) : std::string();
}

// "PROGRAM TEXT": the application manifest of PROGRAM contains TEXT.
bool checkManifest(const std::string& argument) {
  size_t space = argument.find(' ');
  if (space == std::string::npos) {
    printf("manifest needs a program and a text\n");
    return false;
  }
  std::string path = programFolder + argument.substr(0, space);
  std::string text = argument.substr(space + 1);
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    printf("cannot open %s (error %lu)\n", path.c_str(), GetLastError());
    return false;
  }
  std::string manifest = resourceBytes(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  FreeLibrary(module);
  if (manifest.find(text) != std::string::npos) return true;
  printf("the manifest of %s does not contain \"%s\"; it reads:\n%s\n", path.c_str(), text.c_str(),
         manifest.c_str());
  return false;
}

// "PROGRAM GROUP...": the program holds exactly these icon groups, in this
// order (the shell shows the first), each with the same two pictures: 32 x 32
// and 16 x 16 pixels in 16 colours.
bool checkIcons(const std::string& argument) {
  std::vector<std::string> words;
  for (size_t start = 0; start < argument.size();) {
    size_t space = argument.find(' ', start);
    if (space == std::string::npos) space = argument.size();
    if (space > start) words.push_back(argument.substr(start, space - start));
    start = space + 1;
  }
  if (words.size() < 2) {
    printf("icons needs a program and its icon groups\n");
    return false;
  }
  std::string path = programFolder + words[0];
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    printf("cannot open %s (error %lu)\n", path.c_str(), GetLastError());
    return false;
  }
  std::vector<std::string> groups;
  EnumResourceNamesA(module, RT_GROUP_ICON, collectResourceName, reinterpret_cast<LONG_PTR>(&groups));
  bool ok = groups.size() == words.size() - 1;
  for (size_t i = 0; ok && i < groups.size(); ++i) ok = _stricmp(groups[i].c_str(), words[i + 1].c_str()) == 0;
  if (!ok) {
    printf("the icon groups of %s are:", words[0].c_str());
    for (const std::string& group : groups) printf(" %s", group.c_str());
    printf("\n");
  }
  const BYTE kPictureSizes[] = {32, 16};
  std::vector<std::string> firstImages;
  for (size_t g = 0; ok && g < groups.size(); ++g) {
    std::string directory = resourceBytes(module, groups[g].c_str(), RT_GROUP_ICON);
    // GRPICONDIR: reserved, type 1 (icons), count, then the entries.
    const size_t kHeader = 3 * sizeof(WORD);
    const WORD* header = reinterpret_cast<const WORD*>(directory.data());
    size_t count = directory.size() >= kHeader ? header[2] : 0;
    if (directory.size() < kHeader + count * sizeof(IconGroupEntry) || header[1] != 1 || count != 2) {
      printf("icon group %s does not hold two icon pictures\n", groups[g].c_str());
      ok = false;
      break;
    }
    const IconGroupEntry* entries = reinterpret_cast<const IconGroupEntry*>(directory.data() + kHeader);
    for (size_t i = 0; ok && i < count; ++i) {
      const IconGroupEntry& entry = entries[i];
      std::string image = resourceBytes(module, MAKEINTRESOURCEA(entry.id), RT_ICON);
      if (entry.width != kPictureSizes[i] || entry.height != kPictureSizes[i] || entry.colourCount != 16 ||
          entry.bitCount != 4 || image.size() != entry.bytes) {
        printf("icon group %s, picture %u: %ux%u, %u colours, %u bits, %lu bytes (%u stored)\n",
               groups[g].c_str(), static_cast<unsigned>(i + 1), entry.width, entry.height, entry.colourCount,
               entry.bitCount, static_cast<unsigned long>(entry.bytes), static_cast<unsigned>(image.size()));
        ok = false;
      } else if (g == 0) {
        firstImages.push_back(image);
      } else if (image != firstImages[i]) {
        printf("icon group %s, picture %u differs from that of %s\n", groups[g].c_str(),
               static_cast<unsigned>(i + 1), groups[0].c_str());
        ok = false;
      }
    }
  }
  FreeLibrary(module);
  return ok;
}

std::string folderOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string screenshotPath(const std::string& file) {
  bool absolute = file.size() > 1 && (file[1] == ':' || file[0] == '\\' || file[0] == '/');
  char folder[MAX_PATH] = "";
  DWORD length = GetEnvironmentVariableA("VM_E2E_SCREENS", folder, sizeof folder);
  if (absolute || length == 0 || length >= sizeof folder) return file;
  return std::string(folder) + "\\" + file;
}

// Copies the screen into a bottom-up 24-bit DIB, the row order and layout a
// .bmp file stores, and writes header and rows as they are.
bool saveScreenshot(const std::string& file) {
  // A window that has just appeared is painted a moment later; let the
  // screen settle so that the picture shows it whole.
  Sleep(kScreenSettleMs);
  int width = GetSystemMetrics(SM_CXSCREEN);
  int height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = memory != nullptr && bitmap != nullptr;
  if (ok) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != 0;
    GdiFlush();
    SelectObject(memory, previous);
  }
  std::string path = screenshotPath(file);
  if (ok) {
    DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageBytes;
    info.bmiHeader.biSizeImage = imageBytes;
    FILE* out = fopen(path.c_str(), "wb");
    ok = out != nullptr && fwrite(&header, sizeof header, 1, out) == 1 &&
         fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 && fwrite(bits, imageBytes, 1, out) == 1;
    if (out != nullptr && fclose(out) != 0) ok = false;
    if (!ok) printf("cannot write the screenshot %s\n", path.c_str());
  } else {
    printf("cannot copy the screen (error %lu)\n", GetLastError());
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

BOOL CALLBACK printProgramDialog(HWND window, LPARAM) {
  if (!isProgramDialog(window)) return TRUE;
  char caption[256] = "";
  GetWindowTextA(window, caption, sizeof caption);
  printf("  showing: \"%s\"", caption);
  StaticTexts found;
  EnumChildWindows(window, collectStaticText, reinterpret_cast<LPARAM>(&found));
  for (const std::string& text : found.texts) printf(" | %s", printable(text).c_str());
  printf("\n");
  return TRUE;
}

// What a failed step leaves for whoever reads the log: the program's dialogs
// as they stand and a picture of the screen, SCRIPT-failure.bmp.
void reportFailure(const std::string& scriptPath) {
  if (program.hProcess != nullptr && !programEnded()) EnumWindows(printProgramDialog, 0);
  std::string name = scriptPath.substr(folderOf(scriptPath).size());
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  if (saveScreenshot(name + "-failure.bmp")) printf("  screen saved as %s-failure.bmp\n", name.c_str());
}

// The performance counter rather than GetTickCount, which on Windows moves
// in steps of the system timer (10 to 16 ms). Split into whole seconds first
// so that the product with 1000 cannot overflow however long the machine has
// been up.
bool printStamp(const std::string& name) {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  long long milliseconds =
      now.QuadPart / frequency.QuadPart * 1000 + now.QuadPart % frequency.QuadPart * 1000 / frequency.QuadPart;
  printf("stamp %s %lld\n", name.c_str(), milliseconds);
  return true;
}

bool setStepTimeout(const std::string& seconds) {
  int value = atoi(seconds.c_str());
  if (value <= 0) {
    printf("timeout wants a number of seconds, not \"%s\"\n", seconds.c_str());
    return false;
  }
  stepTimeoutMs = static_cast<DWORD>(value) * 1000;
  return true;
}

bool runStep(const std::string& command, const std::string& argument) {
  if (command == "start") return startProgram(argument);
  if (command == "timeout") return setStepTimeout(argument);
  if (command == "startlink") return startShortcutTarget(argument);
  if (command == "hold") return holdFile(argument);
  if (command == "icons") return checkIcons(argument);
  if (command == "manifest") return checkManifest(argument);
  if (command == "stamp") return printStamp(argument);
  if (program.hProcess == nullptr) {
    printf("no program started\n");
    return false;
  }
  if (command == "window") return waitForWindow(argument);
  if (command == "showing") return waitForWindowShowing(argument);
  if (command == "catch") return catchWindow(argument);
  if (command == "plant") return plantFile(argument);
  if (command == "closeclass") return closeWindowOfClass(argument);
  if (command == "exit") return checkExit(argument);
  if (command == "follow") return followChild();
  if (command == "back") return backToEarlierProgram();
  if (command == "screenshot") return saveScreenshot(argument);
  if (current == nullptr) {
    printf("no current window\n");
    return false;
  }
  if (command == "text") return checkText(argument);
  if (command == "press") return press(argument);
  if (command == "gone") return waitUntilGone();
  if (command == "click") return click(argument);
  if (command == "checked") return checkChecked(argument);
  if (command == "type") return typeText(argument);
  if (command == "field") return checkField(argument);
  if (command == "close") return PostMessageA(current, WM_CLOSE, 0, 0) != 0;
  if (command == "controls") return printCurrentLayout();
  if (command == "layout") return checkLayout(scriptFolder + argument);
  printf("unknown command \"%s\"\n", command.c_str());
  return false;
}

std::string folderOfThisProgram() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  return folderOf(path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: driver SCRIPT\n");
    return 2;
  }
  FILE* script = fopen(argv[1], "r");
  if (script == nullptr) {
    printf("cannot read %s\n", argv[1]);
    return 2;
  }
  programFolder = folderOfThisProgram();
  scriptFolder = folderOf(argv[1]);
  char line[4096];
  int lineNumber = 0;
  bool ok = true;
  while (ok && fgets(line, sizeof line, script) != nullptr) {
    ++lineNumber;
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty() || text[0] == '#') continue;
    size_t space = text.find(' ');
    std::string command = text.substr(0, space);
    std::string argument = space == std::string::npos ? "" : text.substr(space + 1);
    ok = runStep(command, argument);
    if (!ok) {
      printf("  at %s:%d: %s\n", argv[1], lineNumber, text.c_str());
      reportFailure(argv[1]);
    }
    fflush(stdout);
  }
  fclose(script);
  // A program still running would hold the log's pipe open: a scenario
  // that does not wait for its end leaves it ended.
  if (program.hProcess != nullptr && !programEnded()) TerminateProcess(program.hProcess, 99);
  return ok ? 0 : 1;
}

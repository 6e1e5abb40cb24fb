// Drives a Windows program as a user would, from a script of one command per
// line, and prints one line per check. Runs in the same Wine prefix as the
// program it drives. Exit code 0 when every step held, 1 otherwise.
//
//   start PROGRAM [ARGS...]   start the program (relative to this driver's folder)
//   window CAPTION            wait until the program shows a dialog or message box
//                             with this caption; it becomes the current window
//   text PATTERN              a static text of the current window matches PATTERN:
//                             "\n" is a line break, "#" one or more digits,
//                             "*" any run of characters
//   press ID|OK|CANCEL|YES|NO press a button of the current window
//   gone                      wait until the current window is closed
//   exit CODE                 wait for the program to end with this exit code
//   screenshot FILE           save the whole screen as a 24-bit .bmp; a relative
//                             FILE lands in the folder named by the environment
//                             variable VM_E2E_SCREENS, else the current folder
//   # ...                     a comment
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kStepTimeoutMs = 30000;
const DWORD kPollMs = 50;
const DWORD kScreenSettleMs = 500;

PROCESS_INFORMATION program = {};
HWND current = nullptr;
std::string programFolder;

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

struct WindowSearch {
  const char* caption;
  HWND found;
};

BOOL CALLBACK findProgramDialog(HWND window, LPARAM parameter) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != program.dwProcessId || !IsWindowVisible(window)) return TRUE;
  char className[64] = "";
  GetClassNameA(window, className, sizeof className);
  if (strcmp(className, "#32770") != 0) return TRUE;
  char caption[256] = "";
  GetWindowTextA(window, caption, sizeof caption);
  if (strcmp(caption, search->caption) != 0) return TRUE;
  search->found = window;
  return FALSE;
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
  std::string line = programFolder + commandLine;
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

bool waitForWindow(const std::string& caption) {
  for (DWORD waited = 0; waited < kStepTimeoutMs; waited += kPollMs) {
    WindowSearch search = {caption.c_str(), nullptr};
    EnumWindows(findProgramDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) {
      current = search.found;
      return true;
    }
    if (programEnded()) {
      DWORD code = 0;
      GetExitCodeProcess(program.hProcess, &code);
      printf("the program ended (exit code %lu) without showing \"%s\"\n", code, caption.c_str());
      return false;
    }
    Sleep(kPollMs);
  }
  printf("no window \"%s\" within %lu ms\n", caption.c_str(), kStepTimeoutMs);
  return false;
}

bool checkText(const std::string& pattern) {
  StaticTexts found;
  // The texts may still be filled in just after the window appears.
  for (DWORD waited = 0; waited < kStepTimeoutMs; waited += kPollMs) {
    found.texts.clear();
    EnumChildWindows(current, collectStaticText, reinterpret_cast<LPARAM>(&found));
    for (const std::string& text : found.texts)
      if (matches(pattern.c_str(), text.c_str())) return true;
    Sleep(kPollMs);
  }
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

bool waitUntilGone() {
  for (DWORD waited = 0; waited < kStepTimeoutMs; waited += kPollMs) {
    if (!IsWindow(current) || !IsWindowVisible(current)) return true;
    Sleep(kPollMs);
  }
  printf("the window is still open after %lu ms\n", kStepTimeoutMs);
  return false;
}

bool checkExit(const std::string& expected) {
  if (WaitForSingleObject(program.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0) {
    printf("the program did not end within %lu ms\n", kStepTimeoutMs);
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

bool runStep(const std::string& command, const std::string& argument) {
  if (command == "start") return startProgram(argument);
  if (program.hProcess == nullptr) {
    printf("no program started\n");
    return false;
  }
  if (command == "window") return waitForWindow(argument);
  if (command == "exit") return checkExit(argument);
  if (command == "screenshot") return saveScreenshot(argument);
  if (current == nullptr) {
    printf("no current window\n");
    return false;
  }
  if (command == "text") return checkText(argument);
  if (command == "press") return press(argument);
  if (command == "gone") return waitUntilGone();
  printf("unknown command \"%s\"\n", command.c_str());
  return false;
}

std::string folderOfThisProgram() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  char* slash = strrchr(path, '\\');
  if (slash != nullptr) slash[1] = '\0';
  return path;
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
    if (!ok) printf("  at %s:%d: %s\n", argv[1], lineNumber, text.c_str());
    fflush(stdout);
  }
  fclose(script);
  if (!ok && program.hProcess != nullptr && !programEnded()) TerminateProcess(program.hProcess, 99);
  return ok ? 0 : 1;
}

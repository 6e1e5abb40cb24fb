// Shows one dialog template of setup.rc, named on the command line, exactly as
// Windows builds it from the resource, so that driver.exe can compare its
// controls with the tables under tests/e2e/templates. The dialog procedure
// does nothing but end the program when a button is pressed: the program's own
// procedures set captions and move the focus, which would hide what the
// template holds (a push button that receives the focus becomes the default
// button).
//
// What the driver cannot see from its own process is published as window
// properties of the dialog: "CreatedHidden" on a template that is created
// hidden (the probe shows it, so that the driver can find it), and the font
// the dialog manager made from the template, "FontFace" (a global atom of the
// face name) and "FontPoints".
//
// Only the template names of resource.h are accepted, spelt as the program
// spells them, so that a name there that misses its template fails the check.
//
// Exit code: the id of the button that closed the dialog (2 when it was closed
// otherwise); 254 for a name the program does not use; 255 when the template
// cannot be found or built.
#include <cstring>

#include "platform/win32.h"
#include "res/resource.h"

namespace {

const int kUnknownName = 254;
const int kNoDialog = 255;

const char* const kTemplateNames[] = {
    DLG_INIT_SETUP,       DLG_WELCOME,    DLG_LICENSE,    DLG_CUSTOMIZE, DLG_DIRECTORY,
    DLG_ABOUT_TO_INSTALL, DLG_INSTALLING, DLG_NEED_ADMIN, DLG_NO_FPU, DLG_ASK_RESTART,
};

bool isTemplateName(const char* name) {
  for (const char* known : kTemplateNames)
    if (strcmp(name, known) == 0) return true;
  return false;
}

// Font handles do not cross processes, but atoms and numbers do.
void publishFont(HWND dialog) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  LOGFONTA description;
  if (font == nullptr || GetObjectA(font, sizeof description, &description) == 0) return;
  HDC screen = GetDC(dialog);
  int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(dialog, screen);
  // The dialog manager asked for a character height of -points * dpi / 72.
  int height = description.lfHeight < 0 ? -description.lfHeight : description.lfHeight;
  int points = MulDiv(height, 72, pixelsPerInch);
  ATOM face = GlobalAddAtomA(description.lfFaceName);
  SetPropA(dialog, "FontFace", reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(face)));
  SetPropA(dialog, "FontPoints", reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(points)));
}

INT_PTR CALLBACK probeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // Before a template that shows itself becomes visible to the driver.
      publishFont(dialog);
      return FALSE;  // leave the focus, and with it the default button, alone
    case WM_COMMAND:
      // Controls report other events through WM_COMMAND too (an edit field
      // gaining the focus); only a click, Enter, Esc or closing ends the probe.
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      DestroyWindow(dialog);
      PostQuitMessage(LOWORD(wParam));
      return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  // The progress bar of "Installing" is a common control.
  if (!isTemplateName(commandLine)) return kUnknownName;
  InitCommonControls();
  HWND dialog = CreateDialogParamA(instance, commandLine, nullptr, probeDialogProc, 0);
  if (dialog == nullptr) return kNoDialog;
  if (!IsWindowVisible(dialog)) {
    SetPropA(dialog, "CreatedHidden", reinterpret_cast<HANDLE>(1));
    ShowWindow(dialog, SW_SHOWNORMAL);
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(dialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return static_cast<int>(message.wParam);
}

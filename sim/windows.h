// The window core of the simulated machine, as the sim's own files see it.
// Drawing finds a window's client area, update state and class here; dialogs
// are windows of this core whose procedures it calls.
#ifndef VM_SIM_WINDOWS_H
#define VM_SIM_WINDOWS_H

#include "sim/sim.h"

namespace sim {

struct Screen {
  int width;
  int height;
  int logPixelsY;
};

const Screen& screen();

// The live window behind a handle, or null (GetLastError untouched).
WindowRecord* findWindow(HWND window);

// The client rectangle: origin 0, 0 and the window's size (no frame).
RECT clientRectOf(const WindowRecord& window);

// Supplied by the controls: registers the system's own window classes
// (dialogs, buttons, static texts, edit fields) on a fresh machine.
void registerSystemClasses();

// Supplied by the controls: comctl32's initialisation, which registers the
// progress bar class once.
void registerCommonControls();

// Supplied by the drawing half: a destroyed window's own device context goes
// away, and whatever was selected into it is released.
void forgetWindowDC(HWND window);

}  // namespace sim

#endif  // VM_SIM_WINDOWS_H

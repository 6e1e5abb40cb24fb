// The full-screen title window that stands behind every dialog of the run.
//
// It carries the product's title over a blue gradient with a filter-response
// curve, a noise line and a square wave, owns every page and message, takes
// no input, and can be neither moved nor resized. Its messages are dispatched
// by whatever loop runs at the time; it has none of its own.
#ifndef VM_TITLE_TITLE_WINDOW_H
#define VM_TITLE_TITLE_WINDOW_H

#include "platform/win32.h"

// Creates the title font, registers the class, creates, shows and paints the
// window and stores it in setupContext.titleWindow. Once, on the GUI thread,
// before anything that needs an owner window.
void createTitleWindow();

// Destroys the window (and any window it still owns), unregisters the class
// and deletes the font. Once, at the end of the run.
void destroyTitleWindow();

LRESULT CALLBACK titleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Draws the whole picture into `dc`, sized to the window's client area.
void paintTitle(HWND window, HDC dc);

#endif  // VM_TITLE_TITLE_WINDOW_H

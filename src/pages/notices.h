// The dialogs that are not wizard pages: the "InitSetup" splash shown while
// start-up checks the payload, and the notices "NeedAdmin", "NoFPU" and
// "AskRestart".
#ifndef VM_PAGES_NOTICES_H
#define VM_PAGES_NOTICES_H

#include "platform/win32.h"

// NoFPU and AskRestart: button 2, Esc and the close box end the notice with
// 2 at once, without the leave question; button 1 ends it with 1.
INT_PTR CALLBACK noticeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// NeedAdmin: "&Continue" ends with 1, "E&xit Setup" with 2 after the leave
// question, as on every page.
INT_PTR CALLBACK needAdminDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The splash: centred, its caption bar left empty, deaf to commands.
INT_PTR CALLBACK initSetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif  // VM_PAGES_NOTICES_H

// The restart of Windows that the pipe driver's registration and its
// replacement at the next start call for.
#ifndef VM_SETUP_RESTART_H
#define VM_SETUP_RESTART_H

// The AskRestart notice; false when the user chose "&Don't Restart" (or
// closed the notice), true otherwise.
bool askRestart();

// Asks Windows to restart, first enabling the shutdown privilege on Windows
// NT. When Windows refuses, the user is told to restart by hand. The last
// thing the program does: every window is gone by then.
void restartWindows();

#endif  // VM_SETUP_RESTART_H

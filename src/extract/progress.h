// The progress channel: how the extraction, which decodes on the one GUI
// thread, moves the Installing dialog's bar, keeps the windows alive and
// learns of the user's cancel. Dialog procedures and message boxes run nested
// inside the decoding loop (through the pump below) and speak to it only
// through the two flags cancelRequested and writeFailed.
#ifndef VM_EXTRACT_PROGRESS_H
#define VM_EXTRACT_PROGRESS_H

#include <cstdint>

#include "platform/win32.h"

// The Installing dialog, set when the Installing page creates it and kept
// after it is destroyed: owner of the installation's message boxes and the
// dialog whose items 100 to 102 the extraction fills.
extern HWND installingDialog;
// 1 once the user has confirmed the cancel question; reset by the Installing
// page when it starts.
extern int32_t cancelRequested;
// 1 once a file of the current extraction could not be written; every
// extraction starts it at 0.
extern int32_t writeFailed;
// File bytes written since the installation began.
extern int32_t bytesWritten;
// The bytes the installation will write: the raw size of the selection, set
// by the Components and Directory pages.
extern int32_t progressTotal;
// The bar's position as last sent, in percent.
extern int32_t lastPercent;

// How long the progress function lets the message queue wait at most, in
// milliseconds of GetTickCount.
extern const DWORD kPumpInterval;

// The decoder's progress function during every extraction: moves the bar
// when the whole percentage changes, drains the message queue when
// kPumpInterval has passed since it last did (and at the first call after
// restartProgressPacing), and returns 0 (stop) once a write failed or the
// user cancelled. The fraction is unused: the bar counts over the whole
// installation, not per entry.
int installProgress(double fraction);

// Makes the next progress call pump whatever the clock says: an
// installation's first call shows its first file and the bar at once.
void restartProgressPacing();

// Dispatches the waiting messages until the queue is empty or the user has
// confirmed a cancel; the messages after that stay queued. Returns 1 when no
// cancel has been requested, 0 otherwise.
int pumpInstallingMessages();

#endif  // VM_EXTRACT_PROGRESS_H

#include "extract/progress.h"

#include "res/resource.h"

HWND installingDialog = nullptr;
int32_t cancelRequested = 0;
int32_t writeFailed = 0;
int32_t bytesWritten = 0;
int32_t progressTotal = 0;
int32_t lastPercent = 0;

// The decoder calls the progress function after about every other byte: a
// million times for a few megabytes. Each look at the queue is a system call
// on Windows NT and a round trip to the server under Wine, so looking every
// time made the looks, not the writing, what an installation waited for. A
// hundred looks a second keep the windows painted, the bar moving and the
// Cancel button answering well under what a person notices.
const DWORD kPumpInterval = 10;

namespace {

const int32_t kFullBar = 100;

// When the queue was last drained, and whether the next call must drain it
// whatever the clock says.
DWORD lastPumpTick = 0;
bool pumpDue = true;

}  // namespace

void restartProgressPacing() { pumpDue = true; }

int installProgress(double) {
  // Nothing to install counts as all of it.
  int32_t percent = progressTotal > 0 ? MulDiv(bytesWritten, kFullBar, progressTotal) : kFullBar;
  // Sent only on a change, so that a call with nothing to do costs one
  // division and one look at the queue. Without a live dialog (the licence
  // is extracted from the License page) the message goes nowhere.
  if (percent != lastPercent) {
    lastPercent = percent;
    SendDlgItemMessageA(installingDialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  }
  // A stop already asked for needs no look at the queue.
  if (writeFailed == 0 && cancelRequested == 0) {
    // Unsigned difference: right across the counter's wrap after 49.7 days.
    DWORD now = GetTickCount();
    if (pumpDue || now - lastPumpTick >= kPumpInterval) {
      pumpDue = false;
      lastPumpTick = now;
      pumpInstallingMessages();
    }
  }
  return writeFailed == 0 && cancelRequested == 0 ? 1 : 0;
}

int pumpInstallingMessages() {
  MSG message;
  // The flag is tested before each message: after a confirmed cancel the
  // rest stays queued, and each later call returns at once.
  while (cancelRequested == 0 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageA(installingDialog, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return cancelRequested == 0 ? 1 : 0;
}

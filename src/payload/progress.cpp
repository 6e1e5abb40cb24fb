#include "payload/progress.h"

#include "res/resource.h"

HWND installingDialog = nullptr;
int32_t cancelRequested = 0;
int32_t writeFailed = 0;
int32_t bytesWritten = 0;
int32_t progressTotal = 0;
int32_t lastPercent = 0;

namespace {

const int32_t kFullBar = 100;

}  // namespace

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
  pumpInstallingMessages();
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

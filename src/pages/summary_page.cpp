#include "pages/summary_page.h"

#include <cstdio>

#include "pages/dialog_frame.h"
#include "res/resource.h"
#include "base/context.h"

namespace {

constexpr char kWillInstall[] = "Install";
constexpr char kWillNotInstall[] = "Don't install";
constexpr char kInstallToFormat[] = "Install to: %s";
// Holds the format and the longest target folder whole.
constexpr int kInstallToBufferSize = 360;

// Components 0 to 5 have a row; the support entries have none.
constexpr int32_t kComponentsWithRow = kComponentSupport;

}  // namespace

INT_PTR CALLBACK aboutToInstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_INITDIALOG) return commonDialogProc(dialog, message, wParam, lParam);
  for (int32_t component = 0; component < kComponentsWithRow; ++component) {
    SetDlgItemTextA(dialog, IDC_COMPONENT_STATE + component,
                    installOptions.componentSelected[component] != 0 ? kWillInstall : kWillNotInstall);
  }
  char installTo[kInstallToBufferSize];
  formatText(installTo, sizeof installTo, kInstallToFormat, installOptions.targetFolder);
  SetDlgItemTextA(dialog, IDC_INSTALL_TO, installTo);
  commonDialogProc(dialog, WM_INITDIALOG, wParam, lParam);
  // Enter on arrival starts the installation.
  SetFocus(GetDlgItem(dialog, IDOK));
  return FALSE;
}

#include "pages/components_page.h"

#include <cstdio>

#include "pages/dialog_frame.h"
#include "payload/component_table.h"
#include "extract/progress.h"
#include "res/resource.h"
#include "base/context.h"
#include "base/fatal.h"

int32_t requiredBytes = 0;

namespace {

constexpr char kTotalSizeFormat[] = "Total %d K";
constexpr char kOverwriteWarning[] =
    "WARNING! If you are installing over the previous installation and have modified the Standard modules, the "
    "modifications may be overwritten if they bear the same filenames. The Library modules are overwritten only in "
    "Brantic section. The Examples directory is also overwritten.";

// Components 0 to 5 have a check box; the support entries go with any of them.
constexpr int32_t kChoosableComponents = kComponentSupport;

// The line every bad index into the seven-entry arrays is reported with.
constexpr int32_t kComponentIndexLine = 715;

void checkComponent(int32_t component) {
  if (component < 0 || component >= kComponentCount) fatalInternalError(kFatalFileNumber, kComponentIndexLine);
}

int32_t& selectedFlag(int32_t component) {
  checkComponent(component);
  return installOptions.componentSelected[component];
}

const ComponentSizes& sizesOf(int32_t component) {
  checkComponent(component);
  return componentSizes[component];
}

bool anyComponentSelected() {
  for (int32_t component = 0; component < kChoosableComponents; ++component)
    if (selectedFlag(component) != 0) return true;
  return false;
}

// Each sum is kept in 32 bits as the pages show it; a sum beyond that (more
// than any payload can hold) stays at the largest figure rather than wrapping
// to a small or negative one.
int32_t saturated(int64_t sum) { return sum > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sum); }

void storeBoxesInFlags(HWND dialog) {
  for (int32_t component = 0; component < kChoosableComponents; ++component)
    selectedFlag(component) = IsDlgButtonChecked(dialog, IDC_COMPONENT_CHECK + component) == BST_CHECKED;
}

bool isComponentBox(int id) { return id >= IDC_COMPONENT_CHECK && id < IDC_COMPONENT_CHECK + kChoosableComponents; }

}  // namespace

int64_t sumSelection() {
  int64_t required = 0;
  int64_t payload = 0;
  bool anySelected = false;
  for (int32_t component = 0; component < kChoosableComponents; ++component) {
    if (selectedFlag(component) == 0) continue;
    payload += sizesOf(component).rawBytes;
    required += sizesOf(component).clusterBytes;
    anySelected = true;
  }
  if (anySelected) {
    payload += sizesOf(kComponentSupport).rawBytes;
    required += sizesOf(kComponentSupport).clusterBytes;
  }
  progressTotal = saturated(payload);
  requiredBytes = saturated(required);
  return required;
}

void showSelectionSize(HWND dialog, int controlId, const char* format) {
  int64_t required = sumSelection();
  char text[64];
  formatText(text, sizeof text, format, static_cast<int>((required + 1023) / 1024));
  SetDlgItemTextA(dialog, controlId, text);
}

void refreshComponentsPage(HWND dialog) {
  showSelectionSize(dialog, IDC_TOTAL_SIZE, kTotalSizeFormat);
  EnableWindow(GetDlgItem(dialog, IDOK), anyComponentSelected());
}

INT_PTR CALLBACK customizeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    // Shown on every visit: nothing tells whether an earlier installation exists.
    SetDlgItemTextA(dialog, IDC_OVERWRITE_WARNING, kOverwriteWarning);
    for (int32_t component = 0; component < kChoosableComponents; ++component)
      CheckDlgButton(dialog, IDC_COMPONENT_CHECK + component,
                     selectedFlag(component) != 0 ? BST_CHECKED : BST_UNCHECKED);
    refreshComponentsPage(dialog);
    commonDialogProc(dialog, WM_INITDIALOG, wParam, lParam);
    // The administrator check already cleared the flag, so the box shows empty.
    if (installOptions.pipeDriverAllowed == 0) EnableWindow(GetDlgItem(dialog, IDC_CHECK_PIPE_DRIVER), FALSE);
    SetFocus(GetDlgItem(dialog, IDOK));
    return FALSE;
  }
  if (message != WM_COMMAND) return commonDialogProc(dialog, message, wParam, lParam);

  int id = LOWORD(wParam);
  if (isComponentBox(id)) {
    if (HIWORD(wParam) != BN_CLICKED) return commonDialogProc(dialog, message, wParam, lParam);
    // The box has already turned over; the flag, the sizes and Next follow it.
    selectedFlag(id - IDC_COMPONENT_CHECK) = IsDlgButtonChecked(dialog, id) == BST_CHECKED;
    refreshComponentsPage(dialog);
    return TRUE;
  }
  switch (id) {
    case kPageNext:
      // Next is disabled with nothing selected; a command that comes anyway
      // leaves the user on the page.
      if (!anyComponentSelected()) return TRUE;
      storeBoxesInFlags(dialog);
      endPage(dialog, kPageNext);
      return TRUE;
    case kPageBack:
      storeBoxesInFlags(dialog);
      endPage(dialog, kPageBack);
      return TRUE;
    default:
      return commonDialogProc(dialog, message, wParam, lParam);
  }
}

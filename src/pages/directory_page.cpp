#include "pages/directory_page.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/paths.h"
#include "pages/components_page.h"
#include "pages/dialog_frame.h"
#include "payload/component_table.h"
#include "res/resource.h"
#include "base/context.h"
#include "base/exit_codes.h"
#include "base/fatal.h"
#include "base/message_box.h"

int32_t freeBytes = 0;
int32_t shownDrive = -2;

namespace {

constexpr char kInvalidPathMessage[] =
    "The specified path is invalid.\nPlease specify the path to the folder on one\nof the disk drives such as C:, "
    "D:, etc.";
constexpr char kLowSpaceQuestion[] = "The target drive does not have enough free space.\nProceed anyway?";
constexpr char kTruncatedMessage[] = "The selected path is too long and has been truncated";
constexpr char kTooLongFormat[] = "The specified path is too long.\nIt may have at most %d characters.";
constexpr char kBrowseTitle[] = "Select a folder to install to:";
constexpr char kAvailableFormat[] = "Available on %c:";
constexpr char kRequiredFormat[] = "%d K";
constexpr char kProductFolder[] = "Velk Modular";

constexpr int32_t kNoDrive = -1;
constexpr int32_t kReadAnew = -2;

constexpr double kKiB = 1024.0;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
// Kilobytes are shown up to 10 GiB, megabytes up to 1000 GiB.
constexpr double kShowMegabytesAbove = 10 * kGiB;
constexpr double kShowGigabytesAbove = 1000 * kGiB;
// The most free space the page counts, so that it fits an int32 with room.
constexpr int32_t kFreeBytesCap = 0x70000000;

// The longest stored file name and the separator before it must fit too.
constexpr int32_t kLongestPathWithoutName = kPathBufferSize - 2;
constexpr int32_t kShortestFolderLimit = 3;

// The field's text is read with this buffer size, one short of the folder's.
constexpr int kFieldReadSize = kPathBufferSize - 1;

// The SHGetMalloc failure is reported with this line.
constexpr int32_t kShellAllocatorLine = 248;

void cutToFolderLimit() {
  int32_t limit = folderLimit();
  if (static_cast<int32_t>(strlen(installOptions.targetFolder)) > limit) installOptions.targetFolder[limit] = '\0';
}

void readFolderField(HWND dialog) {
  GetDlgItemTextA(dialog, IDC_TARGET_FOLDER, installOptions.targetFolder, kFieldReadSize);
  installOptions.targetFolder[kFieldReadSize] = '\0';
  cutToFolderLimit();
}

void showSizeFigure(HWND dialog, double bytes) {
  char text[32];
  if (bytes > kShowGigabytesAbove)
    formatText(text, sizeof text, "%d G", static_cast<int>(bytes / kGiB));
  else if (bytes > kShowMegabytesAbove)
    formatText(text, sizeof text, "%d M", static_cast<int>(bytes / kMiB));
  else
    formatText(text, sizeof text, "%d K", static_cast<int>(bytes / kKiB));
  SetDlgItemTextA(dialog, IDC_AVAILABLE_SIZE, text);
}

// The browsed folder already is the product's own: "\Velk Modular" or
// "/Velk Modular" at its end, the letters compared without regard to case.
bool endsWithProductFolder(const char* path) {
  size_t length = strlen(path);
  size_t nameLength = sizeof kProductFolder - 1;
  if (length < nameLength + 1 || !isPathSeparator(path[length - nameLength - 1])) return false;
  return pathsEqualIgnoringCase(path + length - nameLength, kProductFolder);
}

// The shell's names fit a path buffer; anything longer is cut, never overrun.
void copyIntoTargetFolder(const char* text) {
  size_t length = strnlen(text, sizeof installOptions.targetFolder - 1);
  memcpy(installOptions.targetFolder, text, length);
  installOptions.targetFolder[length] = '\0';
}

// The free bytes of the drive of a drive-rooted `folder`. No medium or no
// such drive: nothing free, so Next asks before going on.
double driveFreeBytes(const char* folder) {
  char root[4] = {folder[0], folder[1], folder[2], '\0'};
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
    freeClusters = 0;
  // In double precision: the product passes 32 bits on any modern drive.
  return static_cast<double>(sectorsPerCluster) * bytesPerSector * freeClusters;
}

int32_t cappedFreeBytes(double available) {
  return available > kFreeBytesCap ? kFreeBytesCap : static_cast<int32_t>(available);
}

}  // namespace

int32_t folderLimit() {
  int32_t limit = kLongestPathWithoutName - longestPayloadName;
  return limit > kShortestFolderLimit ? limit : kShortestFolderLimit;
}

bool validateTargetFolder(HWND dialog) {
  if (isDriveRootedPath(installOptions.targetFolder)) return true;
  showMessage(dialog, kInvalidPathMessage, setupContext.caption, MB_OK);
  return false;
}

int32_t checkFolderWithoutPage() {
  const char* folder = installOptions.targetFolder;
  if (!validateTargetFolder(nullptr)) return kExitBadFolder;
  // The page cuts a longer folder to fit; a folder nobody sees is not cut,
  // which would install somewhere else.
  if (static_cast<int32_t>(strlen(folder)) > folderLimit()) {
    char text[sizeof kTooLongFormat + 16];
    formatText(text, sizeof text, kTooLongFormat, static_cast<int>(folderLimit()));
    showMessage(nullptr, text, setupContext.caption, MB_OK);
    return kExitBadFolder;
  }
  // The page reads the drive once per visit, and so does this.
  if (cappedFreeBytes(driveFreeBytes(folder)) >= requiredBytes ||
      showMessage(nullptr, kLowSpaceQuestion, setupContext.caption, MB_YESNO, IDNO) == IDYES)
    return kExitDone;
  return kExitNotEnoughRoom;
}

void showFreeSpace(HWND dialog) {
  const char* folder = installOptions.targetFolder;
  int32_t drive = kNoDrive;
  if (isDriveRootedPath(folder)) drive = toupper(static_cast<unsigned char>(folder[0])) - 'A';
  if (drive == shownDrive) return;
  if (drive < 0) {
    SetDlgItemTextA(dialog, IDC_AVAILABLE_LABEL, "");
    SetDlgItemTextA(dialog, IDC_AVAILABLE_SIZE, "");
    shownDrive = kNoDrive;
    return;
  }

  double available = driveFreeBytes(folder);
  char label[32];
  formatText(label, sizeof label, kAvailableFormat, 'A' + drive);
  SetDlgItemTextA(dialog, IDC_AVAILABLE_LABEL, label);
  showSizeFigure(dialog, available);
  freeBytes = cappedFreeBytes(available);
  shownDrive = drive;
}

bool browseForTargetFolder(HWND owner) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr) fatalInternalError(kFatalFileNumber, kShellAllocatorLine);

  char displayName[300];
  formatText(displayName, sizeof displayName, "%s", installOptions.targetFolder);
  BROWSEINFOA info = {};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;  // the desktop
  info.pszDisplayName = displayName;
  info.lpszTitle = kBrowseTitle;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&info);
  if (item == nullptr) {
    allocator->Release();
    return false;
  }

  // A folder outside the file system keeps its display name, which the Next
  // button then refuses as no drive path.
  copyIntoTargetFolder(displayName);
  char path[MAX_PATH];
  BOOL isFileSystemPath = SHGetPathFromIDListA(item, path);
  if (isFileSystemPath) {
    copyIntoTargetFolder(path);
    // A result too long for a path leaves the browsed folder as it is.
    if (!endsWithProductFolder(path)) joinPath(installOptions.targetFolder, kProductFolder);
  }
  allocator->Free(item);
  allocator->Release();
  return isFileSystemPath != FALSE;
}

INT_PTR CALLBACK directoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    // A longer folder (one read from the registry, say) is cut silently.
    cutToFolderLimit();
    SendDlgItemMessageA(dialog, IDC_TARGET_FOLDER, EM_LIMITTEXT, static_cast<WPARAM>(folderLimit()), 0);
    SetDlgItemTextA(dialog, IDC_TARGET_FOLDER, installOptions.targetFolder);
    showSelectionSize(dialog, IDC_REQUIRED_SIZE, kRequiredFormat);
    // The drive's figures are read again on every visit.
    shownDrive = kReadAnew;
    showFreeSpace(dialog);
    return commonDialogProc(dialog, message, wParam, lParam);
  }
  if (message != WM_COMMAND) return commonDialogProc(dialog, message, wParam, lParam);

  switch (LOWORD(wParam)) {
    case IDC_TARGET_FOLDER:
      // The folder follows every change of the field.
      if (HIWORD(wParam) == EN_CHANGE) {
        readFolderField(dialog);
        showFreeSpace(dialog);
      }
      return commonDialogProc(dialog, message, wParam, lParam);
    case IDC_BROWSE: {
      browseForTargetFolder(dialog);
      int32_t length = static_cast<int32_t>(strlen(installOptions.targetFolder));
      cutToFolderLimit();
      SetDlgItemTextA(dialog, IDC_TARGET_FOLDER, installOptions.targetFolder);
      showFreeSpace(dialog);
      if (length > folderLimit()) showMessage(dialog, kTruncatedMessage, setupContext.caption, MB_OK);
      return TRUE;
    }
    case kPageNext:
      readFolderField(dialog);
      if (!validateTargetFolder(dialog)) return TRUE;
      // Signed: a failed drive query leaves 0 free, below any requirement.
      if (freeBytes >= requiredBytes ||
          showMessage(dialog, kLowSpaceQuestion, setupContext.caption, MB_YESNO, IDNO) == IDYES)
        endPage(dialog, kPageNext);
      return TRUE;
    default:
      // Back needs no reading of the field: every change already reached the folder.
      return commonDialogProc(dialog, message, wParam, lParam);
  }
}

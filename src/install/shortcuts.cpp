#include "install/shortcuts.h"

#include <cstring>

#include "base/paths.h"
#include "base/context.h"
#include "base/fatal.h"

const char kStartMenuFolderName[] = "Velk Modular";
const char kHomePageFileName[] = "Velk Modular Home Page.url";

const StartMenuItem kStartMenuItems[] = {
    {"Velk Modular.lnk", "vm.exe", true},
    {"Velk Modular Help.lnk", "vm.hlp", true},
    {"Velk Modular Home Page.lnk", kHomePageFileName, false},
    {"Velk Modular License.lnk", "Velk Modular License.txt", false},
    {"Uninstall Velk Modular.lnk", "_vmunins.exe", false},
};
const int kStartMenuItemCount = sizeof kStartMenuItems / sizeof kStartMenuItems[0];

namespace {

void copyPath(char* buffer, const char* path) {
  size_t length = strlen(path);
  ENSURE(length < kPathBufferSize);
  memcpy(buffer, path, length + 1);
}

}  // namespace

bool getProgramsFolder(HWND owner, char* buffer) {
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator))) return false;
  LPITEMIDLIST items = nullptr;
  bool found = false;
  if (SUCCEEDED(SHGetSpecialFolderLocation(owner, CSIDL_PROGRAMS, &items))) {
    found = SHGetPathFromIDListA(items, buffer) != FALSE;
    allocator->Free(items);
  }
  allocator->Release();
  return found;
}

bool createShortcut(const char* folder, const char* linkName, const char* baseFolder, const char* targetName) {
  char linkPath[kPathBufferSize];
  char targetPath[kPathBufferSize];
  copyPath(linkPath, folder);
  copyPath(targetPath, baseFolder);
  if (!joinPath(linkPath, linkName) || !joinPath(targetPath, targetName)) return false;

  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return false;
  // The shell answers S_FALSE for a target that does not exist yet, which is
  // no reason to go without the shortcut.
  link->SetPath(targetPath);
  IPersistFile* file = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    link->Release();
    return false;
  }
  // IPersistFile takes its file name only in UTF-16.
  WCHAR wideLinkPath[kPathBufferSize];
  bool saved = MultiByteToWideChar(CP_ACP, 0, linkPath, -1, wideLinkPath, kPathBufferSize) != 0 &&
               SUCCEEDED(file->Save(wideLinkPath, TRUE));
  file->Release();
  link->Release();
  return saved;
}

bool createStartMenuItems(HWND owner) {
  char folder[kPathBufferSize];
  if (!getProgramsFolder(owner, folder)) return false;
  if (!joinPath(folder, kStartMenuFolderName)) return false;
  if (!createDirectoryPath(folder)) return false;
  bool programSelected = installOptions.componentSelected[kComponentProgram] != 0;
  for (int i = 0; i < kStartMenuItemCount; ++i) {
    const StartMenuItem& item = kStartMenuItems[i];
    if (item.needsProgram && !programSelected) continue;
    if (!createShortcut(folder, item.linkName, installOptions.targetFolder, item.targetName)) return false;
  }
  return true;
}

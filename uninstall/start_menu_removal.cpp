#include "uninstall/start_menu_removal.h"

#include <cstring>

#include "base/paths.h"
#include "install/shortcuts.h"
#include "platform/win32.h"

bool readShortcutTarget(const char* linkPath, char* target) {
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return false;
  IPersistFile* file = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    link->Release();
    return false;
  }
  // IPersistFile takes its file name only in UTF-16.
  WCHAR wideLinkPath[kPathBufferSize];
  // GetPath answers S_FALSE, with an empty path, for a link to no file.
  bool read = MultiByteToWideChar(CP_ACP, 0, linkPath, -1, wideLinkPath, kPathBufferSize) != 0 &&
              SUCCEEDED(file->Load(wideLinkPath, STGM_READ)) &&
              link->GetPath(target, kPathBufferSize, nullptr, 0) == S_OK;
  file->Release();
  link->Release();
  return read;
}

void removeStartMenuItems(const char* installFolder, RemovalTally& tally) {
  char menuFolder[kPathBufferSize];
  if (!getProgramsFolder(nullptr, menuFolder) || !joinPath(menuFolder, kStartMenuFolderName)) return;
  for (int i = 0; i < kStartMenuItemCount; ++i) {
    char linkPath[kPathBufferSize];
    char target[kPathBufferSize];
    memcpy(linkPath, menuFolder, sizeof menuFolder);
    if (!joinPath(linkPath, kStartMenuItems[i].linkName)) continue;
    if (!readShortcutTarget(linkPath, target)) continue;
    // Its target lies directly in this installation's folder, not in that of
    // an installation inside it.
    if (isFileInNormalFolder(target, installFolder)) removeFile(linkPath, tally);
  }
  removeFolder(menuFolder, tally);
}

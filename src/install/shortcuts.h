// The product's folder in the current user's Start Menu, under Programs, with
// shortcuts into the target folder.
#ifndef VM_INSTALL_SHORTCUTS_H
#define VM_INSTALL_SHORTCUTS_H

#include "platform/win32.h"

// The folder below Programs, and every shortcut it may hold, in the order
// they are made.
extern const char kStartMenuFolderName[];
// The Internet shortcut to the product's home page, in the target folder.
extern const char kHomePageFileName[];

struct StartMenuItem {
  const char* linkName;
  const char* targetName;  // in the target folder
  bool needsProgram;       // made only with the program component
};
extern const StartMenuItem kStartMenuItems[];
extern const int kStartMenuItemCount;

// Makes the folder "Velk Modular" and its shortcuts: the program and its help
// when the program component is selected, then the home page, the licence and
// the uninstaller. True when every shortcut due was saved; the first one that
// fails ends the step and the ones before it stay. COM must be initialised.
// `owner` is the window the shell may show its own messages over (the
// Installing dialog).
bool createStartMenuItems(HWND owner);

// Fills `buffer` (kPathBufferSize characters) with the path of the current
// user's Programs folder.
bool getProgramsFolder(HWND owner, char* buffer);

// Saves a shell link `folder`\`linkName` whose only property is its target,
// `baseFolder`\`targetName`. The target need not exist.
bool createShortcut(const char* folder, const char* linkName, const char* baseFolder, const char* targetName);

#endif  // VM_INSTALL_SHORTCUTS_H

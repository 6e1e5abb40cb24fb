// Registration of the installed product with Windows and with itself: the
// entry in the list of installed programs, the product key, and the
// application path of the synthesizer.
#ifndef VM_INSTALL_REGISTRY_H
#define VM_INSTALL_REGISTRY_H

// The product's own key: "InstallDir" and "WorkDir" under HKEY_CURRENT_USER
// (read back at the next start to propose the same folder), the pipe
// driver's "VelkPipe" under HKEY_LOCAL_MACHINE.
extern const char kProductKeyPath[];
extern const char kInstallDirValue[];
extern const char kWorkDirValue[];

// The entry in the list of installed programs: under HKEY_CURRENT_USER on NT,
// HKEY_LOCAL_MACHINE otherwise. "UninstallString" starts the uninstaller,
// the program of that name in the target folder; "QuietUninstallString"
// starts it with /S.
extern const char kUninstallKeyPath[];
extern const char kDisplayNameValue[];
extern const char kUninstallStringValue[];
extern const char kQuietUninstallStringValue[];
extern const char kUninstallerName[];
// Every value the setup writes into the entry, those two first; the
// uninstaller removes them all before it deletes the key.
extern const char* const kUninstallEntryValues[];
extern const int kUninstallEntryValueCount;

// The application path of the synthesizer, under HKEY_LOCAL_MACHINE: its
// default value names the program, "Path" its folder.
extern const char kAppPathKeyPath[];
extern const char kAppPathFolderValue[];

// Writes every key and value it can and reports nothing: a key or value that
// cannot be written is skipped, and the installation goes on regardless.
// Writes nothing at all when the uninstaller's path would be too long.
void registerProduct();

#endif  // VM_INSTALL_REGISTRY_H

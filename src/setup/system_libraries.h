// The libraries the program loads itself, and where Windows may look for them.
//
// setup.exe and the uninstaller run with administrator rights from folders
// that others can write to (a downloads folder, the temporary folder). A
// library of a well-known name dropped there would run with those rights the
// moment Windows looked for that name beside the program. So the executables
// import only what Windows always takes from its own folder (kernel32, user32,
// gdi32, advapi32, shell32, ole32, msvcrt), and everything else is loaded here
// by its full path in the system folder.
#ifndef VM_SETUP_SYSTEM_LIBRARIES_H
#define VM_SETUP_SYSTEM_LIBRARIES_H

// Confines every later search for a library by name to the system folder
// (SetDefaultDllDirectories), or where the system lacks that, at least takes
// the current folder out of the search (SetDllDirectoryA ""). Both are looked
// up at run time: Windows 95 to ME and early NT offer neither, and the program
// must still start there. Called first thing by both programs.
void restrictLibrarySearch();

// Loads the common controls from the system folder by full path and runs
// their initialisation (ordinal 17, InitCommonControls), which registers the
// Installing page's progress bar class. The library stays loaded for the rest
// of the process, as an imported one would. A Windows without it in its
// system folder is not sound: internal error, before any page is shown.
void loadCommonControls();

#endif  // VM_SETUP_SYSTEM_LIBRARIES_H

// The uninstaller _vmunins.exe: removes what the setup program installed
// into the folder the uninstaller lies in, and what it made elsewhere for
// that installation (Start Menu items, registry entries, the pipe driver).
//
// Started by the user (Start Menu or the list of installed programs), it asks
// for confirmation, checks the uninstall data file, and hands the work over
// to a copy of itself in the temporary folder (see hand_over.h). The copy,
// or the program itself when no copy can be started, then removes:
//   1. the recorded files, newest first, then the recorded folders that are
//      empty, only inside the installation folder;
//   2. the Start Menu shortcuts and folder, the uninstall entry, the
//      application path, "InstallDir" and "WorkDir", where they still point
//      at this installation;
//   3. the pipe driver, when this is the last installation that uses it;
//   4. the original program file and the installation folder.
// What is in use waits for the next start of Windows; the closing message
// says so and offers to restart Windows, with the setup's own restart.
//
// With /S nothing is asked or shown: the question counts as answered Yes,
// the closing message is logged, and Windows is not restarted (the exit code
// says when it should be). /LOG= keeps a log; the copy writes on in it.
#ifndef VM_UNINSTALL_UNINSTALLER_H
#define VM_UNINSTALL_UNINSTALLER_H

extern const char kUninstallCaption[];

// Runs the uninstaller with the command line its WinMain received (without
// the program's own name); returns the process exit code: one of
// exit_codes.h for a run started with a switch, else 0 as it always was. COM
// is initialised here for the Start Menu's shell links, and the program's
// caption set in SetupContext for the restart's messages.
int runUninstaller(const char* commandLine);

#endif  // VM_UNINSTALL_UNINSTALLER_H

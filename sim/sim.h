// The simulated Windows that host builds link instead of the real one.
//
// It implements the Win32 subset declared in src/platform/win32.h over plain
// data, as Windows documents it and Wine does it. Tests reach it only through
// this header: they arrange the machine before running program code and
// inspect it afterwards. Each test gets a fresh machine from the fixture in
// tests/sim_fixture.h.
#ifndef VM_SIM_SIM_H
#define VM_SIM_SIM_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace sim {

// ---- The machine ---------------------------------------------------------

// Throws away the previous machine and starts a new one whose drives live
// under `root` (C: is root/C). Drive C: exists afterwards.
void reset(const std::string& root);

// Adds a drive: the folder root/<letter> is created.
void addDrive(char letter);

// The host path a Windows path maps to, resolving existing levels without
// regard to the case of A to Z as Windows does. Empty when the path names no
// simulated drive.
std::string hostPath(const std::string& windowsPath);

// Convenience for tests: does the Windows path exist as a folder / as a file?
bool folderExists(const std::string& windowsPath);
bool fileExists(const std::string& windowsPath);
// Writes a file at a Windows path (its folder must exist); returns success.
bool writeFile(const std::string& windowsPath, const std::string& content);

// Files held open by "another program": opening them for writing, deleting,
// replacing or moving them fails with ERROR_SHARING_VIOLATION until unlocked.
void lockFile(const std::string& windowsPath);
void unlockFile(const std::string& windowsPath);
// `action` runs once, just before the program's next open of the file for
// writing with the C runtime (fopen "w" or "a"): what another program does
// at that moment.
void beforeNextOpen(const std::string& windowsPath, std::function<void()> action);
bool isLocked(const std::string& windowsPath);
// A junction (or symbolic link) at `windowsPath` that leads to `target`, as a
// user may plant one in a folder they can write to: everything done through
// it happens at the target, FindFirstFileA reports it with
// FILE_ATTRIBUTE_REPARSE_POINT, and DeleteFileA or RemoveDirectoryA on it
// removes the link itself. Only Windows NT has them.
bool makeReparsePoint(const std::string& windowsPath, const std::string& target);

// Free space of a drive as GetDiskFreeSpaceA reports it and as writes to
// the drive use it up (default: 10 GiB).
void setFreeBytes(char drive, uint64_t bytes);
uint64_t freeBytes(char drive);
// GetDiskFreeSpaceA calls that succeeded, so that a test can tell whether a
// drive was asked again.
int freeSpaceQueries();

// ---- File times and open files ------------------------------------------------

// A file's times as FILETIME values (100 ns since 1601), 0 when there is no
// such file. The creation time is the one SetFileTime stored or the moment
// the program made the file; the host keeps none, so a file made otherwise
// (by a test) reports its last-write time. The last-write time is the host
// file's modification time, which SetFileTime sets.
uint64_t fileCreationTime(const std::string& windowsPath);
uint64_t fileWriteTime(const std::string& windowsPath);

// CreateFileA handles and openWindowsFile streams the program holds open.
int openFileCount();

// Closes the openWindowsFile streams the program still holds, as the end of
// its process would, and returns how many there were: for a caller that
// resumes after the program's code was cut off in the middle (the fuzz
// targets, after a failed check).
int closeProgramStreams();

// ---- Power ------------------------------------------------------------------
//
// What the program writes through its C runtime streams is on the disk only
// once flushFileToDisk sent it there: until then a power failure loses it,
// and the file holds what it held at its last flush (nothing, for a file
// made since). Names stay as they stand: files and folders made, moved or
// deleted before the failure stay so.

// The power fails just before the program's `change`th change to the disk
// from now on (a file opened for writing, a write, a flush, a file time set,
// a move, a deletion, a folder made or removed); the process ends there with
// exit code 0. For a program run in a child process.
void cutPowerAtDiskChange(int change);
// The system's cache goes out to the disk, as at a clean shutdown: nothing
// written so far can be lost any more.
void writeOutDiskCache();
// The program's changes to the disk so far.
int diskChanges();

// ---- Process ---------------------------------------------------------------

// Whether a debugger is attached, and whether kernel32 offers
// IsDebuggerPresent at all (old kernels do not).
void setDebuggerAttached(bool attached);
void setKernelHasIsDebuggerPresent(bool present);
// A 32-bit program on 64-bit Windows: kernel32 offers IsWow64Process, which
// says so, and GetSystemWow64DirectoryA, which names wow64SystemFolder()
// (the Windows folder's SysWOW64). Neither is offered otherwise. The file
// system is not redirected: a test makes both folders itself.
void setWow64(bool wow64);
std::string wow64SystemFolder();
int breakpointCount();

// Heap blocks larger than `bytes` cannot be supplied (SIZE_MAX: no limit).
void setHeapLimit(size_t bytes);
// Heap blocks handed out and not yet returned.
int liveHeapBlocks();

// ---- Libraries -----------------------------------------------------------------
//
// The system's libraries live in the system folder as names, not files:
// kernel32, in the process from its start (GetModuleHandleA finds it), and
// comctl32, which LoadLibraryA loads by its full path there or by its bare
// name. Nothing else is a library: a file a test leaves anywhere never loads.
// comctl32 exports its initialisation as ordinal 17 and as InitCommonControls.

// Libraries loaded and not yet freed.
int loadedLibraryCount();
// Whether advapi32 (in the process from its start) exports
// ConvertStringSecurityDescriptorToSecurityDescriptorA: unless a test
// chooses, the NT family does (Windows 2000 and later) and 95 to ME do not.
void setAdvapiHasSecurityDescriptorTexts(bool present);
// Takes a library out of the system folder (a damaged Windows): loading it
// then fails with ERROR_MOD_NOT_FOUND.
void removeSystemLibrary(const std::string& name);
// Which of the calls that steer the search for libraries kernel32 exports.
// Unless a test chooses, the NT family offers both (Windows 8 and later, or 7
// with its loader update) and Windows 95 to ME neither; Windows XP SP1 to 7
// without the update offer SetDllDirectoryA alone.
void setKernelLibrarySearchCalls(bool setDefaultDllDirectories, bool setDllDirectory);
// The flags SetDefaultDllDirectories accepted last (0: never).
DWORD defaultDllDirectories();
// Whether SetDllDirectoryA has set a folder ("" takes the current folder out
// of the search), and which.
bool dllDirectory(std::string* folder);
// The library calls in order, one text each: "GetModuleHandleA kernel32.dll",
// "LoadLibraryA C:\WINDOWS\SYSTEM32\comctl32.dll", "GetProcAddress
// comctl32.dll #17" (an ordinal) or "... kernel32.dll SetDllDirectoryA",
// "SetDefaultDllDirectories 0x00000800", "SetDllDirectoryA \"\"", and
// "InitCommonControls" when comctl32's initialisation runs.
const std::vector<std::string>& libraryCalls();
// Runs `watcher` inside each call that narrows the search, so that a test can
// see what the program had done before it.
void onLibrarySearchRestricted(std::function<void()> watcher);

// ---- Resources of the program's executable -----------------------------------

// The module handle of the program itself; FindResourceA also takes null for it,
// as Windows does.
HMODULE programModule();

// Installs (or replaces) a resource with a numeric type and id, language 1033.
void addResource(int type, int id, const std::vector<uint8_t>& bytes);
void removeResource(int type, int id);

// Makes every later LoadResource or LockResource call fail.
enum class ResourceFailure { none, load, lock };
void setResourceFailure(ResourceFailure failure);

// Resources loaded with LoadResource and not yet given back with FreeResource.
int loadedResourceCount();
// The ids FindResourceA was asked for, in order (numeric ids only).
const std::vector<int>& resourceLookups();

// ---- Processes -------------------------------------------------------------

// The program's own file as GetModuleFileNameA reports it (default
// C:\setup.exe; the sim does not create it).
void setProgramPath(const std::string& windowsPath);
// The program's process id, as GetCurrentProcessId reports it.
DWORD currentProcessId();
// The folder GetTempPathA reports (default C:\WINDOWS\TEMP, made at reset);
// the setter creates it and fails when the drive does not exist.
bool setTempFolder(const std::string& windowsPath);

// Another program's process that OpenProcess finds by its id. Waiting for
// it ends it when `endsWhenWaitedFor`, and `atEnd` then runs (as the files
// it held are let go); else the wait times out.
void addProcess(DWORD processId, bool endsWhenWaitedFor, std::function<void()> atEnd = nullptr);
bool processEnded(DWORD processId);
// The exit code of a process (another program's, or one the program
// started) that has ended, as GetExitCodeProcess gives it: STILL_ACTIVE while
// it runs.
DWORD processExitCode(DWORD processId);

// A program that CreateProcessA started. The sim notes it and runs nothing.
struct StartedProcess {
  std::string application;
  std::string commandLine;
  std::string currentDirectory;  // "" when the caller named none
  DWORD processId;
};
const std::vector<StartedProcess>& startedProcesses();
// From now on, waiting for a program the program started ends it with
// `exitCode`, as if it had run; until then such a wait times out (and one
// without a time limit ends the test).
void endStartedProcessesWhenWaitedFor(DWORD exitCode);
// Process and thread handles not yet closed.
int openProcessHandleCount();

// A named mutex that another program holds (names compare exactly, as
// Windows compares them); one not `accessible` refuses this program access,
// as another user's may. CreateMutexA on Windows 95 to ME refuses a name with
// a backslash (no "Global\\" namespace there).
void holdMutex(const std::string& name, bool accessible = true);
// The program's process ended: Windows closes what it still held, its
// mutexes among them, and the next run is another process.
void endProgram();

// ---- Message boxes -----------------------------------------------------------

struct MessageBoxRecord {
  HWND owner;
  std::string text;
  std::string caption;
  UINT flags;
  int answer;
};

// The next message box is answered with `answer`; `whileOpen`, when given,
// runs while the box is "open" (as a nested message loop would run code).
void answerNextMessageBox(int answer, std::function<void()> whileOpen = nullptr);
const std::vector<MessageBoxRecord>& messageBoxes();
// Boxes that came without a scripted answer; the fixture fails the test on them.
int unexpectedMessageBoxes();

// ---- Windows and messages ----------------------------------------------------
//
// Window procedures really run: CreateWindowExA sends WM_NCCREATE and
// WM_CREATE, ShowWindow WM_SHOWWINDOW and the window-position pair,
// DestroyWindow hides, destroys owned windows, then sends WM_DESTROY and
// WM_NCDESTROY. Posted messages wait in a queue per thread; GetMessageA and
// PeekMessageA take them in Windows' order (posted messages, then WM_PAINT of
// a window that needs painting). Sent messages, also across threads, call the
// procedure directly. A dialog's items are its child windows with that
// control id; dialogs themselves are described below. The sim runs one
// program, so window classes are told apart by name alone, and a window has
// no frame: its client area is the whole window.

// The primary screen as GetSystemMetrics and GetDeviceCaps report it
// (a fresh machine: 1024 x 768 pixels, 96 pixels per logical inch).
void setScreen(int width, int height, int logPixelsY = 96);

struct WindowClassRecord {
  std::string name;
  ATOM atom;
  UINT style;
  WNDPROC procedure;
  int classExtra;
  int windowExtra;
  HINSTANCE instance;
  HICON icon;
  HCURSOR cursor;
  HBRUSH background;
};

// A window as the simulated Windows keeps it. Visible and enabled are the
// style bits WS_VISIBLE and WS_DISABLED, as in Windows.
struct WindowRecord {
  HWND handle;
  std::string className;
  UINT classStyle;
  WNDPROC procedure;
  HINSTANCE instance;
  std::string text;
  DWORD style;
  DWORD exStyle;
  RECT rect;         // screen coordinates; a child's are relative to its parent's client area
  HWND parent;       // a child's parent (WS_CHILD), else null
  HWND owner;        // a top-level window's owner, else null
  int id;            // a child's control id (the menu argument of CreateWindowExA)
  LONG_PTR userData; // GWLP_USERDATA
  std::vector<unsigned char> extraBytes;  // the class's window extra bytes (GetWindowLongPtrA 0 and up)
  DWORD threadId;    // the thread that created it and receives its posted messages
  bool updatePending;  // WM_PAINT is due
  bool erasePending;   // the next BeginPaint sends WM_ERASEBKGND first
  bool destroying;     // DestroyWindow has started on it
  bool alive;          // false once WM_NCDESTROY has been sent

  bool visible() const { return (style & WS_VISIBLE) != 0; }
  bool enabled() const { return (style & WS_DISABLED) == 0; }
};

// The registered class of that name (case ignored), or null.
const WindowClassRecord* findWindowClass(const std::string& name);
// The live window behind a handle, or null.
const WindowRecord* findWindowRecord(HWND window);
// Every live window, in the order of creation.
std::vector<HWND> liveWindows();

// When the program next waits for a message and none is due (GetMessageA),
// `action` runs, as the user's input would arrive. Waiting with no action
// left ends the test process with a report instead of hanging.
void whenIdle(std::function<void()> action);

// Input that arrives while the program polls the queue with PeekMessageA
// (as the Installing page's pump does): the `nth` call from now that finds
// nothing due runs `action` (which may post messages) and then looks again.
// Actions queue up; each counts its polls after the one before it has run.
void atEmptyPoll(int nth, std::function<void()> action);
// PeekMessageA calls that found nothing due, since the machine was reset.
int emptyPolls();

// Icon group resources of the program that LoadIconA finds by name.
void addIconGroup(const std::string& name);
// The resource name a loaded icon came from; "" for null or unknown handles.
std::string iconName(HICON icon);
// The standard cursor id a loaded cursor stands for (32512: the arrow); 0 otherwise.
int cursorId(HCURSOR cursor);

// ---- Dialogs and controls ------------------------------------------------------
//
// Dialogs are built from the program's own templates: the host build compiles
// res/setup.rc into a resource file, and DialogBoxParamA and
// CreateDialogParamA make the dialog and its controls (ids, classes, styles,
// texts) from it, with the base units of 8-point MS Sans Serif at 96 dpi
// (6 x 13 pixels). The procedure gets WM_INITDIALOG and then whatever the
// scripted user does. A modal dialog disables its owner and runs its loop
// (GetMessageA, IsDialogMessageA, dispatch) until EndDialog; the loop is
// where idle actions (whenIdle) run, so a test scripts its user as a list of
// idle actions, one per thing the user does on a dialog. IsDialogMessageA
// turns Escape into IDCANCEL and Enter into the focused push button, else the
// default button. Window frames are not simulated, so a dialog's window is
// its client area.

// The template a live dialog was made from, as the program named it; "" for
// other windows.
std::string dialogTemplate(HWND dialog);
// The newest visible dialog, or null.
HWND activeDialog();
// The templates of every dialog made so far, in order.
const std::vector<std::string>& dialogHistory();
// The next dialog made from this template cannot be created (DialogBoxParamA
// returns -1, CreateDialogParamA null).
void failDialogCreation(const std::string& templateName);

// A control's text ("" when the dialog has no such control), and the id of
// the focused control when it belongs to `dialog` (0 otherwise).
std::string controlText(HWND dialog, int id);
int focusedControlId(HWND dialog);
// The icon group an icon control shows ("" for none), and how many characters
// the user may enter into an edit field.
std::string controlIcon(HWND control);
size_t editLimit(HWND edit);

struct ProgressBarState {
  int low;
  int high;
  int position;
};
bool progressBarState(HWND bar, ProgressBarState* state);
// Whether comctl32's initialisation has registered the progress bar class.
bool commonControlsInitialized();

// The user's actions. Each returns false, doing nothing, when the control
// cannot be reached: missing, hidden, disabled, or on a disabled dialog.
// A click focuses the button, turns an automatic check box over, then
// notifies the dialog (BN_CLICKED).
bool clickButton(HWND dialog, int id);
// Replaces an edit field's whole text as a paste over a selection would: what
// passes the field's limit is cut off; one EN_CHANGE.
bool replaceText(HWND dialog, int id, const std::string& text);
// Types characters at the end of an edit field, one EN_CHANGE each; a full
// field refuses the rest.
bool typeCharacters(HWND dialog, int id, const std::string& characters);
// A key pressed: WM_KEYDOWN to the focused window (else the active dialog),
// which the loop running at the time receives.
bool pressKey(int virtualKey);
// The close box of a dialog with a system menu.
bool clickCloseBox(HWND dialog);

// ---- Drawing ---------------------------------------------------------------------
//
// Every drawing call is recorded in order, whether it succeeds or not, so
// that a test can assert what was drawn and with which pen. Objects keep
// their record after deletion. As in Windows (and Wine), deleting an object
// that is still selected into a device context succeeds, and the object goes
// away when it is no longer selected. A window of a CS_OWNDC class keeps one
// device context for its whole life; other contexts are fresh on each GetDC
// or BeginPaint and go away at ReleaseDC or EndPaint.

struct DrawCall {
  std::string function;       // Windows' name of the call
  HDC dc;                     // the device context used, or null
  HGDIOBJ object;             // the object created, asked for, selected or deleted; for
                              // MoveToEx and LineTo the selected pen, for TextOutA the font
  std::vector<int64_t> args;  // the numeric arguments in Windows' order, handles left out
  std::string text;           // TextOutA's text, CreateFontA's face name
  intptr_t result;            // the result, handles as numbers
};

const int kSystemColourBrush = 0x1000;

struct DrawingObjectRecord {
  std::string kind;   // "pen", "font" or "brush"
  int stockId;        // GetStockObject's index, kSystemColourBrush + the colour's index for
                      // GetSysColorBrush, -1 for created objects
  bool deleted;       // DeleteObject succeeded on it
  bool alive;         // still exists: not deleted, or deleted but still selected somewhere
  int selections;     // device contexts that have it selected
  int penStyle;
  int penWidth;
  COLORREF penColour;  // a brush's colour too
  int fontHeight;
  std::string fontFace;
};

const std::vector<DrawCall>& drawCalls();
void clearDrawCalls();
// One line for a call, naming objects by what they are rather than by their
// handle, so that two paints can be compared call for call.
std::string describe(const DrawCall& call);
// What the sim knows of a drawing object, or null for an unknown handle.
const DrawingObjectRecord* findDrawingObject(HGDIOBJ object);
// Created objects not yet gone (stock objects do not count).
int liveDrawingObjects();
// Device contexts taken with GetDC or BeginPaint and not yet given back.
int heldDeviceContexts();
// The `nth` next call of `function` fails as Windows reports it: CreatePen,
// CreateFontA, GetDC, BeginPaint and SelectObject return null, ReleaseDC 0,
// EndPaint and DeleteObject FALSE (and then do nothing).
void failDrawCall(const std::string& function, int nth = 1);

// ---- Windows version and folders ----------------------------------------------

enum class WindowsFamily { NT, Win9x };

// The family GetVersionExA reports (default NT: Windows XP; Win9x: Windows 98).
void setWindowsFamily(WindowsFamily family);
WindowsFamily windowsFamily();
// Makes GetVersionExA fail, as it never does on a sound machine.
void setVersionQueryFails(bool fails);

// The Windows folder (default C:\WINDOWS) and the system folder (its SYSTEM32
// on NT, SYSTEM on 9x, unless set). Both exist from reset on; the setters
// create the folders they name and fail when the drive does not exist.
std::string windowsFolder();
std::string systemFolder();
bool setWindowsFolder(const std::string& windowsPath);
bool setSystemFolder(const std::string& windowsPath);

// ---- Tick clock ----------------------------------------------------------------

// The virtual clock that GetTickCount reads and Sleep moves on; it never
// moves by itself. A step makes every reading move it on by that much
// afterwards, as if time passed between readings.
DWORD tickCount();
void setTickCount(DWORD milliseconds);
void advanceClock(DWORD milliseconds);
void setClockStepPerReading(DWORD milliseconds);
// Every Sleep, in order.
const std::vector<DWORD>& sleeps();

// ---- Processor ------------------------------------------------------------------

// The flags CPUID function 1 reports in EDX (a fresh machine: a Pentium II,
// with a floating-point unit and conditional moves).
void setProcessorFeatures(uint32_t cpuidFeatureFlags);
// A processor older than CPUID, with or without a floating-point unit.
void setProcessorWithoutCpuid(bool hasFloatingPointUnit);

// ---- Privileges and restart --------------------------------------------------------
//
// On NT a user holds the shutdown privilege, disabled until the process
// enables it, and ExitWindowsEx refuses a restart without it. Windows 95/98/ME
// has no tokens (OpenProcessToken and LookupPrivilegeValueA fail with
// ERROR_CALL_NOT_IMPLEMENTED) and restarts on request. Requests are recorded
// and never carried out.

struct RestartRequest {
  UINT flags;
  DWORD reason;
  bool granted;
};
const std::vector<RestartRequest>& restartRequests();
void setUserHoldsShutdownRight(bool holds);
void setPrivilegeLookupFails(bool fails);
void setProcessTokenOpenFails(bool fails);
// Another program refuses to end, so that Windows turns the restart down.
void setRestartVetoed(bool vetoed);
bool shutdownPrivilegeEnabled();
// Token handles opened and not yet closed.
int openTokenCount();

// ---- Registry ------------------------------------------------------------------

// A value as stored: its type and its bytes exactly as the program passed
// them (a REG_SZ written with its terminator ends in a zero byte).
struct RegistryValue {
  DWORD type;
  std::string data;
};

// Paths are relative to a predefined root such as HKEY_LOCAL_MACHINE; names
// and paths compare without regard to case.
bool registryKeyExists(HKEY root, const std::string& path);
bool registryValue(HKEY root, const std::string& path, const std::string& name, RegistryValue* value);
std::vector<std::string> registryValueNames(HKEY root, const std::string& path);
// Arranges a value, creating its key.
void setRegistryValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                      const std::string& data);
// A REG_SZ value with its terminator, as Windows programs write them.
void setRegistryText(HKEY root, const std::string& path, const std::string& name, const std::string& text);
// The key and everything below it can be read but not opened or created with
// any further access, as HKEY_LOCAL_MACHINE is to a user without administrator
// rights ("" for the whole root).
void refuseFullAccess(HKEY root, const std::string& path);
// Handles opened or created and not yet closed.
int openRegistryKeyCount();

// ---- Profile files -----------------------------------------------------------------

// The lines of a section of a profile file ("key=value", or the bare text of
// a line without "="), in file order, as GetPrivateProfileSectionA returns
// them; empty when the file or the section is missing. A file name without a
// folder names a file in the Windows folder.
std::vector<std::string> profileSection(const std::string& fileName, const std::string& section);
// The Windows path of a profile file, as the profile calls resolve it.
std::string profilePath(const std::string& fileName);

// ---- Copies, moves and names ---------------------------------------------------------

// A move that MoveFileExA was asked to make at the next start of Windows,
// with the paths exactly as it was given them: read from the registry value
// where NT keeps them, which a program may edit, in the order made.
struct DelayedMove {
  std::string source;
  std::string destination;
  DWORD flags;
};
const std::vector<DelayedMove>& delayedMoves();

// The security descriptor a folder was created with, as the text it was made
// from ("" when CreateDirectoryA was given none).
std::string folderSecurity(const std::string& windowsPath);
// Security descriptors made and not yet given back with LocalFree.
int openSecurityDescriptorCount();

// FindFirstFileA handles not yet closed with FindClose.
int openFindHandleCount();

// Long names get 8.3 aliases in the style of NAME~1.EXT, numbered per folder
// in the order of their names and kept once given. GetShortPathNameA and
// FindFirstFileA report them, and every call that takes a path finds a file
// by its alias too.

// ---- Shell and COM --------------------------------------------------------------------

// The current user's Programs folder of the Start Menu (default C:\Documents
// and Settings\User\Start Menu\Programs on NT, the Windows folder's Start
// Menu\Programs on 9x), created when the shell is asked for it. An empty path
// makes the shell report that the folder cannot be found.
void setProgramsFolder(const std::string& windowsPath);
std::string programsFolder();

// What a shell link saved by IPersistFile::Save holds. In the sim a link is a
// small text file, read back here.
struct Shortcut {
  std::string target;
  std::string arguments;
  std::string workingFolder;
  std::string description;
  std::string iconPath;
  int iconIndex;
  int hotkey;
  int showCommand;
};
bool readShortcut(const std::string& windowsPath, Shortcut* shortcut);

// Whether CoInitialize is in effect (CoCreateInstance fails without it).
bool comInitialized();
// Makes CoInitialize fail (E_OUTOFMEMORY), as on a system short of memory.
void setComInitializationFails(bool fails);
// Shell link objects not yet released, references to the shell's allocator
// handed out by SHGetMalloc and not yet released, and blocks (item ID lists)
// from that allocator not yet freed.
int liveShellLinks();
int shellAllocatorReferences();
int liveShellBlocks();
// The owner window passed to the last SHGetSpecialFolderLocation.
HWND lastShellOwner();

// The folder browser (SHBrowseForFolderA) is answered from the script: the
// user picks a file-system folder (the display name is its last level, or
// "(D:)" for a drive root), a folder outside the file system (no path), or
// cancels. A browser without a scripted answer counts as an unexpected box.
struct FolderBrowseAnswer {
  bool cancelled;
  std::string path;
  std::string displayName;
};
void answerNextFolderBrowse(const std::string& windowsPath);
void answerNextFolderBrowseOutsideFileSystem(const std::string& displayName);
void cancelNextFolderBrowse();

// What the program asked the browser for.
struct FolderBrowseRecord {
  HWND owner;
  std::string title;
  UINT flags;
  bool rootIsDesktop;
  std::string displayNameBefore;  // the display-name buffer's text when the browser opened
  bool hasCallback;
};
const std::vector<FolderBrowseRecord>& folderBrowses();

// ---- Injected faults -------------------------------------------------------------------
//
// The calls Windows can refuse on a machine that is full, locked down or out of
// memory, counted by kind. A call counts once it has got past everything else
// that could stop it and is about to act, so on an undisturbed run the count
// is how many things of that kind the program did. An armed fault makes such
// a call fail as Windows reports that failure, with no effect on the machine.
enum class Fault {
  fileOpenForWriting,  // CreateFileA asking GENERIC_WRITE, openWindowsFile for writing or
                       // update: INVALID_HANDLE_VALUE or null, ERROR_ACCESS_DENIED (errno EACCES)
  fileWrite,           // a write of an openWindowsFile stream reaching the disk: nothing
                       // written, ERROR_DISK_FULL (errno ENOSPC)
  fileTimeSet,         // SetFileTime: FALSE, ERROR_ACCESS_DENIED
  folderCreate,        // CreateDirectoryA of a folder not there yet: FALSE, ERROR_ACCESS_DENIED
  registryKeyCreate,   // RegCreateKeyExA: ERROR_ACCESS_DENIED
  registryValueSet,    // RegSetValueExA: ERROR_ACCESS_DENIED
  fileCopy,            // CopyFileA: FALSE, ERROR_DISK_FULL, no file made
  moveOnRestart,       // MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT: FALSE, ERROR_ACCESS_DENIED
  profileWrite,        // WritePrivateProfileStringA and WritePrivateProfileSectionA (wininit.ini's
                       // renames on 9x too): FALSE, ERROR_ACCESS_DENIED
  shellLinkSave,       // IPersistFile::Save of a shell link: E_ACCESSDENIED
  heapAlloc,           // HeapAlloc: null (HeapAlloc sets no last error)
};
const std::vector<Fault>& faultKinds();
const char* faultName(Fault kind);

// The `nth` call of `kind` from now on fails; several may be armed at once.
void failCall(Fault kind, int nth = 1);
// Calls of `kind` counted since the machine was reset, the failed ones
// included, and what each was about: the Windows path of the file, folder,
// stream, copy's destination, move's source or link; the full path of the key
// (HKEY_LOCAL_MACHINE\SOFTWARE\...), for a value followed by a backslash and
// its name (none for the default value); the profile file's Windows path, a
// space and the section in brackets; the size asked of the heap, in bytes.
int callCount(Fault kind);
const std::vector<std::string>& callSubjects(Fault kind);
// Armed faults that struck since the machine was reset.
int injectedFaults();

}  // namespace sim

#endif  // VM_SIM_SIM_H

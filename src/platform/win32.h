// The one door to the operating system.
//
// On Windows this is <windows.h> and friends. On the host it declares exactly
// the subset of the Win32 API the program calls, with Windows' own names, types
// and values, and the simulated Windows under sim/ implements it. Program code
// includes nothing else for system calls, so the same code runs on both.
#ifndef VM_PLATFORM_WIN32_H
#define VM_PLATFORM_WIN32_H

#include <cstdint>
#include <cstdio>

#if defined(_WIN32)

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#else  // the simulated Windows

#include <cstddef>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;  // 32 bits everywhere, as on Windows
typedef int32_t LONG;
typedef uint32_t UINT;
typedef int32_t INT;
typedef char CHAR;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;
typedef size_t SIZE_T;

typedef struct SimHandle* HANDLE;
typedef struct SimWindow* HWND;
typedef struct SimModule* HMODULE;
typedef HMODULE HINSTANCE;
typedef struct SimResourceInfo* HRSRC;
typedef HANDLE HGLOBAL;

typedef INT_PTR(WINAPI* FARPROC)();

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#define TRUE 1
#define FALSE 0

// Error codes (GetLastError)
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DRIVE 15L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_DISK_FULL 39L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

// Message boxes
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_YESNO 0x00000004L
#define MB_ICONHAND 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

#define MAX_PATH 260

#define HEAP_ZERO_MEMORY 0x00000008

// ---- Kernel: errors, threads, process, libraries, heap -----------------------

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD code);
DWORD WINAPI GetCurrentThreadId(void);
[[noreturn]] void WINAPI ExitProcess(UINT exitCode);
void WINAPI DebugBreak(void);
HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);
BOOL WINAPI FreeLibrary(HMODULE module);
HANDLE WINAPI GetProcessHeap(void);
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);

// ---- Version, time, system folders and disks ----------------------------------


// ---- Resources of the executable ----------------------------------------------

#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC info);
DWORD WINAPI SizeofResource(HMODULE module, HRSRC info);
LPVOID WINAPI LockResource(HGLOBAL data);
BOOL WINAPI FreeResource(HGLOBAL data);

// ---- Files and folders ----------------------------------------------------------

BOOL WINAPI CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES security);

// ---- Profile files ----------------------------------------------------------------


// ---- Registry ---------------------------------------------------------------------


// ---- Windows, dialogs and messages -------------------------------------------------

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// ---- Drawing --------------------------------------------------------------------------


// ---- Shell and COM ---------------------------------------------------------------------


// ---- Privileges and shutdown -------------------------------------------------------------


#endif  // _WIN32

// Opens a file by its Windows path for the standard-I/O writes of the
// extraction: fopen on Windows, the simulated drives on the host.
FILE* openWindowsFile(const char* path, const char* mode);

// Closes every open standard-I/O stream of the process so that files being
// written are flushed and released before the process ends.
void closeAllFileStreams(void);

#endif  // VM_PLATFORM_WIN32_H

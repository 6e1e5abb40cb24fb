// What the program takes from the system's C runtime (msvcrt.dll) on real
// Windows. The statically linked runtime of the compiler brings its own
// printf family and mathematics, built for newer processors than the
// product's and several times larger; the system's own serve every Windows
// the product runs on.
#include <fcntl.h>
#include <io.h>

#include <cstdarg>

#include "platform/win32.h"

// msvcrt.dll's exp and log, through the import table: the names alone would
// bind to the static runtime's copies, which come first in the link.
#if defined(__x86_64__)
extern "C" double (*msvcrtExp)(double) __asm__("__imp_exp");
extern "C" double (*msvcrtLog)(double) __asm__("__imp_log");
#else
extern "C" double (*msvcrtExp)(double) __asm__("__imp__exp");
extern "C" double (*msvcrtLog)(double) __asm__("__imp__log");
#endif

FILE* openWindowsFile(const char* path, const char* mode) { return fopen(path, mode); }

FILE* createNewWindowsFile(const char* path) {
  // Windows 95 to ME know no links, and no flag to open one by.
  bool nt = (GetVersion() & 0x80000000u) == 0;
  HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | (nt ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  // From here the runtime owns the handle, and the stream the descriptor.
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  FILE* file = descriptor == -1 ? nullptr : _fdopen(descriptor, "wb");
  if (file != nullptr) return file;
  if (descriptor == -1) {
    CloseHandle(handle);
  } else {
    _close(descriptor);
  }
  // The file is new and empty, and nothing will record it: it goes again.
  DeleteFileA(path);
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

bool flushFileToDisk(FILE* file) { return fflush(file) == 0 && _commit(_fileno(file)) == 0; }

HANDLE streamFileHandle(FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }

void closeAllFileStreams(void) { _fcloseall(); }

int formatTextList(char* buffer, size_t size, const char* format, va_list arguments) {
  if (size == 0) return -1;
  // msvcrt's own: neither terminated nor counted when the text fills the
  // buffer or more, which both count as cut here.
  int length = _vsnprintf(buffer, size, format, arguments);
  if (length >= 0 && static_cast<size_t>(length) < size) return length;
  buffer[size - 1] = '\0';
  return -1;
}

double runtimeExp(double x) { return msvcrtExp(x); }

double runtimeLog(double x) { return msvcrtLog(x); }

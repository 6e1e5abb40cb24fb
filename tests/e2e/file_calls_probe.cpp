// Runs the file calls of the uninstall list and of the extraction's time
// setting on the real system, with the answers the host tests expect from the
// simulated one, and the uninstall list itself over real files. Prints one
// line per disagreement; exit code 0 when there is none.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "extract/uninstall_list.h"

namespace {

const char kRoot[] = "C:\\vmprobe";
int failures = 0;

void check(bool held, const char* what) {
  if (!held) {
    ++failures;
    printf("FAIL %s\n", what);
  }
}

// The call failed with `code`, or succeeded when `code` is 0.
void checkError(BOOL result, DWORD code, const char* what) {
  DWORD error = result ? 0 : GetLastError();
  if (error != code) {
    ++failures;
    printf("FAIL %s: error %lu, expected %lu\n", what, static_cast<unsigned long>(error),
           static_cast<unsigned long>(code));
  }
}

void checkOpenError(HANDLE handle, DWORD code, const char* what) {
  BOOL opened = handle != INVALID_HANDLE_VALUE;
  if (opened) CloseHandle(handle);
  checkError(opened, code, what);
}

void makeFile(const char* path, const char* content) {
  FILE* file = fopen(path, "wb");
  check(file != nullptr, path);
  if (file == nullptr) return;
  fputs(content, file);
  fclose(file);
}

bool exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

HANDLE openForTimes(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void probeErrorCodes() {
  CreateDirectoryA("C:\\vmprobe\\Dir", nullptr);
  makeFile("C:\\vmprobe\\Dir\\a.txt", "a");
  checkError(RemoveDirectoryA("C:\\vmprobe\\Dir"), ERROR_DIR_NOT_EMPTY, "RemoveDirectoryA of a non-empty folder");
  checkError(RemoveDirectoryA("C:\\vmprobe\\Dir\\a.txt"), ERROR_DIRECTORY, "RemoveDirectoryA of a file");
  checkError(DeleteFileA("C:\\vmprobe\\Dir"), ERROR_ACCESS_DENIED, "DeleteFileA of a folder");
  checkOpenError(openForTimes("C:\\vmprobe\\Dir"), ERROR_ACCESS_DENIED, "CreateFileA of a folder");
  checkOpenError(openForTimes("C:\\vmprobe\\Dir\\missing"), ERROR_FILE_NOT_FOUND, "CreateFileA of a missing file");
  checkOpenError(openForTimes("C:\\vmprobe\\Missing\\a"), ERROR_PATH_NOT_FOUND,
                 "CreateFileA in a missing folder");
  checkOpenError(CreateFileA("C:\\vmprobe\\Dir\\a.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
                 ERROR_FILE_EXISTS, "CreateFileA CREATE_NEW of an existing file");

  HANDLE file = CreateFileA("C:\\vmprobe\\Dir\\a.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  check(file != INVALID_HANDLE_VALUE && GetLastError() == ERROR_ALREADY_EXISTS,
        "CreateFileA CREATE_ALWAYS of an existing file says ERROR_ALREADY_EXISTS");
  checkOpenError(openForTimes("C:\\vmprobe\\Dir\\a.txt"), ERROR_SHARING_VIOLATION, "second unshared open");
  checkError(DeleteFileA("C:\\vmprobe\\Dir\\a.txt"), ERROR_SHARING_VIOLATION, "DeleteFileA of an open file");
  check(fopen("C:\\vmprobe\\Dir\\a.txt", "rb") == nullptr && errno == EACCES, "fopen of an unshared file: EACCES");
  checkError(CloseHandle(file), 0, "CloseHandle");
  checkError(CloseHandle(file), ERROR_INVALID_HANDLE, "CloseHandle twice");

  FILE* stream = fopen("C:\\vmprobe\\Dir\\a.txt", "rb");
  checkError(DeleteFileA("C:\\vmprobe\\Dir\\a.txt"), ERROR_SHARING_VIOLATION, "DeleteFileA of a file fopen holds");
  if (stream != nullptr) fclose(stream);

  // SetFileTime through a handle without write access: Windows documents
  // ERROR_ACCESS_DENIED, Wine lets it pass; the sim keeps to Windows.

  checkError(DeleteFileA("C:\\vmprobe\\Dir\\a.txt"), 0, "DeleteFileA");
  checkError(DeleteFileA("C:\\vmprobe\\Dir\\a.txt"), ERROR_FILE_NOT_FOUND, "DeleteFileA of a missing file");
  checkError(DeleteFileA("C:\\vmprobe\\Missing\\a.txt"), ERROR_PATH_NOT_FOUND, "DeleteFileA in a missing folder");
  checkError(RemoveDirectoryA("C:\\vmprobe\\Dir"), 0, "RemoveDirectoryA");
  checkError(RemoveDirectoryA("C:\\vmprobe\\Dir"), ERROR_FILE_NOT_FOUND, "RemoveDirectoryA of a missing folder");
  checkError(RemoveDirectoryA("C:\\vmprobe\\Missing\\Dir"), ERROR_PATH_NOT_FOUND,
             "RemoveDirectoryA in a missing folder");
}

void probeFileTimes() {
  makeFile("C:\\vmprobe\\timed.txt", "x");
  FILETIME stored = {0x2F5A0D83, 0x01BE6E2A};
  FILETIME later = {0, 0x01C07368};
  FILETIME zero = {0, 0};
  HANDLE file = openForTimes("C:\\vmprobe\\timed.txt");
  checkError(SetFileTime(file, &stored, nullptr, &stored), 0, "SetFileTime");
  checkError(SetFileTime(file, &zero, &later, nullptr), 0, "SetFileTime of the access time only");
  CloseHandle(file);
  FILETIME creation, access, write;
  file = CreateFileA("C:\\vmprobe\\timed.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  check(GetFileTime(file, &creation, &access, &write) != 0, "GetFileTime");
  CloseHandle(file);
  check(CompareFileTime(&creation, &stored) == 0, "creation time as stored");
  check(CompareFileTime(&write, &stored) == 0, "last-write time as stored");
  DeleteFileA("C:\\vmprobe\\timed.txt");
}

void probeUninstallList() {
  CreateDirectoryA("C:\\vmprobe\\T", nullptr);
  CreateDirectoryA("C:\\vmprobe\\T\\D", nullptr);
  CreateDirectoryA("C:\\vmprobe\\T\\Kept", nullptr);
  CreateDirectoryA("C:\\vmprobe\\Outside", nullptr);
  makeFile("C:\\vmprobe\\T\\D\\f1", "1");
  makeFile("C:\\vmprobe\\T\\D\\f2", "2");
  makeFile("C:\\vmprobe\\T\\Kept\\inuse", "3");
  makeFile("C:\\vmprobe\\Outside\\x", "4");

  UninstallList list;
  list.addRecord("C:\\vmprobe\\T\\_vmunins.dat", kUninstallFile);
  list.addRecord("C:\\vmprobe\\T\\D", kUninstallFolder);
  list.addRecord("C:\\vmprobe\\T\\Kept", kUninstallFolder);
  list.addRecord("C:\\vmprobe\\T\\D\\f1", kUninstallFile);
  list.addRecord("c:\\VMPROBE\\t\\d\\F1", kUninstallFile);
  list.addRecord("C:\\vmprobe\\T\\D\\f2", kUninstallFile);
  list.addRecord("C:\\vmprobe\\T\\Kept\\inuse", kUninstallFile);
  list.addRecord("C:\\vmprobe\\Outside\\x", kUninstallFile);
  DWORD expectedSize = 12;
  for (PtrListNode<UninstallRecord>* node = list.records().head(); node != nullptr; node = node->next)
    expectedSize += 8 + static_cast<DWORD>(strlen(node->item->path));
  check(list.saveTo("C:\\vmprobe\\T\\_vmunins.dat"), "saveTo");
  WIN32_FILE_ATTRIBUTE_DATA data;
  check(GetFileAttributesExA("C:\\vmprobe\\T\\_vmunins.dat", GetFileExInfoStandard, &data) &&
            data.nFileSizeLow == expectedSize && expectedSize == 12 + 7 * 8 + 133,
        "_vmunins.dat holds the header and seven records");

  UninstallList loaded;
  check(loaded.loadFrom("C:\\vmprobe\\T\\_vmunins.dat"), "loadFrom");
  int count = 0;
  for (PtrListNode<UninstallRecord>* node = loaded.records().head(); node != nullptr; node = node->next) ++count;
  check(count == 6, "the record outside the data file's folder is dropped");
  list.clear();

  // Taken over from a data file, the records are an earlier installation's:
  // a roll-back leaves them. Made by this run, it deletes them.
  UninstallList made;
  for (PtrListNode<UninstallRecord>* node = loaded.records().head(); node != nullptr; node = node->next)
    made.addRecord(node->item->path, node->item->kind);
  check(loaded.rollBack("C:\\vmprobe\\T"), "rollBack of taken-over records");
  check(exists("C:\\vmprobe\\T\\D\\f1") && exists("C:\\vmprobe\\T\\_vmunins.dat"), "taken-over records stay");
  HANDLE inUse = CreateFileA("C:\\vmprobe\\T\\Kept\\inuse", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             0, nullptr);
  check(made.rollBack("C:\\vmprobe\\T"), "rollBack");
  CloseHandle(inUse);
  check(!exists("C:\\vmprobe\\T\\D"), "the emptied folder is removed");
  check(!exists("C:\\vmprobe\\T\\_vmunins.dat"), "the data file is deleted");
  check(exists("C:\\vmprobe\\T\\Kept\\inuse"), "a file in use stays, and its folder");
  check(exists("C:\\vmprobe\\Outside\\x"), "the file outside stays");

  DeleteFileA("C:\\vmprobe\\T\\Kept\\inuse");
  RemoveDirectoryA("C:\\vmprobe\\T\\Kept");
  RemoveDirectoryA("C:\\vmprobe\\T");
  DeleteFileA("C:\\vmprobe\\Outside\\x");
  RemoveDirectoryA("C:\\vmprobe\\Outside");
}

}  // namespace

int main() {
  CreateDirectoryA(kRoot, nullptr);
  probeErrorCodes();
  probeFileTimes();
  probeUninstallList();
  RemoveDirectoryA(kRoot);
  printf("%d disagreements\n", failures);
  return failures == 0 ? 0 : 1;
}

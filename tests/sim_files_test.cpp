// The simulated file calls answer as Windows does: the error codes the
// program branches on, sharing with files held open, stored file times, and
// a drive that fills up under the program's writes.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "sim_fixture.h"

using SimFilesTest = SimTest;

namespace {

FILETIME fileTime(uint64_t value) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

HANDLE openForTimes(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// What a call failed with, or 0 when it succeeded.
DWORD errorOf(BOOL result) { return result ? 0 : GetLastError(); }
DWORD errorOfOpen(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(handle);
  return 0;
}

// 1999-03-14 15:09:26.5358979 and 2001-01-01, in 100 ns steps since 1601.
const uint64_t kCatalogueTime = 125658977665358979ull;
const uint64_t kLaterTime = 126227808000000000ull;

}  // namespace

TEST_F(SimFilesTest, SetFileTimeStoresCreationAndLastWriteTimesToTheTick) {
  ASSERT_TRUE(sim::writeFile("C:\\a.txt", "content"));
  HANDLE file = openForTimes("C:\\a.txt");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME time = fileTime(kCatalogueTime);
  EXPECT_TRUE(SetFileTime(file, &time, nullptr, &time));
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(sim::fileCreationTime("C:\\a.txt"), kCatalogueTime);
  EXPECT_EQ(sim::fileWriteTime("c:\\A.TXT"), kCatalogueTime);

  // Null or zero leaves a time as it is.
  file = openForTimes("C:\\a.txt");
  FILETIME later = fileTime(kLaterTime);
  FILETIME zero = fileTime(0);
  EXPECT_TRUE(SetFileTime(file, &zero, &later, nullptr));
  EXPECT_TRUE(SetFileTime(file, &later, nullptr, &zero));
  CloseHandle(file);
  EXPECT_EQ(sim::fileCreationTime("C:\\a.txt"), kLaterTime);
  EXPECT_EQ(sim::fileWriteTime("C:\\a.txt"), kCatalogueTime);
}

TEST_F(SimFilesTest, FileHandlesAnswerWithWindowsErrorCodes) {
  ASSERT_TRUE(CreateDirectoryA("C:\\Dir", nullptr));
  ASSERT_TRUE(sim::writeFile("C:\\Dir\\a.txt", "a"));
  EXPECT_EQ(errorOfOpen(openForTimes("C:\\Dir\\missing.txt")), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(errorOfOpen(openForTimes("C:\\Missing\\a.txt")), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(errorOfOpen(openForTimes("Q:\\a.txt")), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(errorOfOpen(openForTimes("C:\\Dir")), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(errorOfOpen(CreateFileA("C:\\Dir\\a.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)),
            static_cast<DWORD>(ERROR_FILE_EXISTS));

  HANDLE file = CreateFileA("C:\\Dir\\a.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "an existing file was overwritten";
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(errorOf(CloseHandle(file)), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  FILETIME time = fileTime(kCatalogueTime);
  EXPECT_EQ(errorOf(SetFileTime(file, &time, nullptr, &time)), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  file = CreateFileA("C:\\Dir\\a.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(errorOf(SetFileTime(file, &time, nullptr, &time)), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(file);
  EXPECT_EQ(sim::openFileCount(), 0);
}

TEST_F(SimFilesTest, FilesHeldOpenRefuseWritersAndDeletion) {
  ASSERT_TRUE(sim::writeFile("C:\\locked.dll", "in use"));
  sim::lockFile("C:\\locked.dll");
  EXPECT_EQ(errorOfOpen(openForTimes("C:\\LOCKED.DLL")), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(errorOf(DeleteFileA("C:\\locked.dll")), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(openWindowsFile("C:\\locked.dll", "wb"), nullptr);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  FILE* reader = openWindowsFile("C:\\locked.dll", "rb");
  ASSERT_NE(reader, nullptr) << "the other program lets others read";
  fclose(reader);
  EXPECT_TRUE(sim::fileExists("C:\\locked.dll"));
  sim::unlockFile("C:\\locked.dll");

  // The program's own opens hold the file the same way.
  ASSERT_TRUE(sim::writeFile("C:\\own.txt", "x"));
  HANDLE exclusive = openForTimes("C:\\own.txt");
  EXPECT_EQ(errorOfOpen(openForTimes("C:\\own.txt")), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(openWindowsFile("C:\\own.txt", "rb"), nullptr);
  EXPECT_EQ(errorOf(DeleteFileA("C:\\own.txt")), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  CloseHandle(exclusive);
  FILE* stream = openWindowsFile("C:\\own.txt", "rb");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(errorOf(DeleteFileA("C:\\own.txt")), static_cast<DWORD>(ERROR_SHARING_VIOLATION))
      << "the C runtime does not share deletion";
  fclose(stream);
  EXPECT_TRUE(DeleteFileA("C:\\own.txt"));
}

TEST_F(SimFilesTest, DeletingAndRemovingAnswerWithWindowsErrorCodes) {
  ASSERT_TRUE(CreateDirectoryA("C:\\Dir", nullptr));
  ASSERT_TRUE(sim::writeFile("C:\\Dir\\a.txt", "a"));
  EXPECT_EQ(errorOf(RemoveDirectoryA("C:\\Dir")), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_EQ(errorOf(RemoveDirectoryA("C:\\Dir\\a.txt")), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_EQ(errorOf(DeleteFileA("C:\\Dir")), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(errorOf(RemoveDirectoryA("C:\\")), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(DeleteFileA("c:\\dir\\A.TXT"));
  EXPECT_EQ(errorOf(DeleteFileA("C:\\Dir\\a.txt")), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(errorOf(DeleteFileA("C:\\Missing\\a.txt")), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(RemoveDirectoryA("C:\\Dir"));
  EXPECT_EQ(errorOf(RemoveDirectoryA("C:\\Dir")), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(errorOf(RemoveDirectoryA("C:\\Missing\\Dir")), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(SimFilesTest, WritesThatOverrunTheFreeSpaceFailAsAFullDiskDoes) {
  sim::setFreeBytes('C', 100);
  FILE* file = openWindowsFile("C:\\small.bin", "wb");
  ASSERT_NE(file, nullptr);
  std::string bytes(60, 'x');
  EXPECT_EQ(fwrite(bytes.data(), bytes.size(), 1, file), 1u) << "still in the stream's buffer";
  EXPECT_EQ(fflush(file), 0);
  EXPECT_EQ(sim::freeBytes('C'), 40u);
  EXPECT_EQ(fwrite(bytes.data(), bytes.size(), 1, file), 1u);
  EXPECT_NE(fflush(file), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_NE(ferror(file), 0);
  fclose(file);
  EXPECT_EQ(sim::freeBytes('C'), 40u) << "a write that does not fit writes nothing";

  // Bytes still in the buffer fail when the stream is closed.
  file = openWindowsFile("C:\\closing.bin", "wb");
  EXPECT_EQ(fwrite(bytes.data(), bytes.size(), 1, file), 1u);
  EXPECT_NE(fclose(file), 0);

  // A write larger than the buffer goes straight to the drive and comes back short.
  std::string big(1 << 20, 'y');
  file = openWindowsFile("C:\\big.bin", "wb");
  EXPECT_EQ(fwrite(big.data(), big.size(), 1, file), 0u);
  fclose(file);

  // Overwriting or deleting a file gives its space back.
  file = openWindowsFile("C:\\small.bin", "wb");
  fclose(file);
  EXPECT_EQ(sim::freeBytes('C'), 100u);
  ASSERT_TRUE(sim::writeFile("C:\\other.bin", ""));
  file = openWindowsFile("C:\\other.bin", "ab");
  EXPECT_EQ(fwrite(bytes.data(), bytes.size(), 1, file), 1u);
  EXPECT_EQ(fclose(file), 0);
  EXPECT_EQ(sim::freeBytes('C'), 40u);
  EXPECT_TRUE(DeleteFileA("C:\\other.bin"));
  EXPECT_EQ(sim::freeBytes('C'), 100u);
  EXPECT_EQ(sim::openFileCount(), 0);
}

TEST_F(SimFilesTest, StreamsLeftOpenAreClosedWithTheirBytesAndReleaseTheirFiles) {
  FILE* closedByProgram = openWindowsFile("C:\\done.txt", "wb");
  ASSERT_NE(closedByProgram, nullptr);
  ASSERT_EQ(fclose(closedByProgram), 0);
  FILE* leftOpen = openWindowsFile("C:\\cut.txt", "wb");
  ASSERT_NE(leftOpen, nullptr);
  ASSERT_EQ(fputs("half", leftOpen), 1) << "still in the stream's buffer";
  EXPECT_FALSE(DeleteFileA("C:\\cut.txt")) << "held open";

  EXPECT_EQ(sim::closeProgramStreams(), 1);
  EXPECT_EQ(sim::openFileCount(), 0);
  EXPECT_EQ(sim::closeProgramStreams(), 0);
  std::ifstream written(sim::hostPath("C:\\cut.txt"));
  std::string text;
  written >> text;
  EXPECT_EQ(text, "half");
  EXPECT_TRUE(DeleteFileA("C:\\cut.txt"));
}

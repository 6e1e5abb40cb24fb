// Injected faults in the sim: which calls count, that the nth from now is the
// one refused, and that each kind fails with Windows' own result and error
// code and leaves the machine as it was.
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "sim_fixture.h"

using SimFaultsTest = SimTest;

namespace {

const char kKey[] = "SOFTWARE\\Brantic\\Velk Modular";

}  // namespace

TEST_F(SimFaultsTest, OnlyCallsAboutToActCountAndTheNthFromNowIsRefused) {
  ASSERT_TRUE(CreateDirectoryA("C:\\A", nullptr));
  // Already there, or with no parent: refused before anything would be made.
  EXPECT_FALSE(CreateDirectoryA("C:\\A", nullptr));
  EXPECT_FALSE(CreateDirectoryA("C:\\None\\B", nullptr));
  EXPECT_EQ(sim::callCount(sim::Fault::folderCreate), 1);

  sim::failCall(sim::Fault::folderCreate, 2);
  EXPECT_TRUE(CreateDirectoryA("C:\\A\\1", nullptr));
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryA("C:\\A\\2", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(sim::folderExists("C:\\A\\2"));
  EXPECT_TRUE(CreateDirectoryA("C:\\A\\3", nullptr));
  EXPECT_EQ(sim::injectedFaults(), 1);
  EXPECT_EQ(sim::callSubjects(sim::Fault::folderCreate),
            (std::vector<std::string>{"C:\\A", "C:\\A\\1", "C:\\A\\2", "C:\\A\\3"}));
  // Other kinds are not touched.
  EXPECT_EQ(sim::callCount(sim::Fault::fileOpenForWriting), 0);
}

TEST_F(SimFaultsTest, FilesRefuseTheirOpenWriteAndTimeAsWindowsDoes) {
  ASSERT_TRUE(sim::writeFile("C:\\old.txt", "old"));
  sim::failCall(sim::Fault::fileOpenForWriting);
  EXPECT_EQ(CreateFileA("C:\\new.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(sim::fileExists("C:\\new.txt"));
  sim::failCall(sim::Fault::fileOpenForWriting);
  errno = 0;
  EXPECT_EQ(openWindowsFile("C:\\old.txt", "wb"), nullptr);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(contentOf("C:\\old.txt"), "old");
  // Reading is no open for writing.
  FILE* reading = openWindowsFile("C:\\old.txt", "rb");
  ASSERT_NE(reading, nullptr);
  fclose(reading);
  EXPECT_EQ(sim::callCount(sim::Fault::fileOpenForWriting), 2);

  // The stream's buffer goes out at fflush: a full disk then, as Windows
  // reports it, with nothing written and no space taken.
  uint64_t freeBefore = sim::freeBytes('C');
  FILE* file = openWindowsFile("C:\\data.bin", "wb");
  ASSERT_NE(file, nullptr);
  sim::failCall(sim::Fault::fileWrite);
  fputs("data", file);
  EXPECT_NE(fflush(file), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  fclose(file);
  EXPECT_EQ(contentOf("C:\\data.bin"), "");
  EXPECT_EQ(sim::freeBytes('C'), freeBefore);
  EXPECT_EQ(sim::callSubjects(sim::Fault::fileWrite), (std::vector<std::string>{"C:\\data.bin"}));

  HANDLE handle = CreateFileA("C:\\old.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  uint64_t writeTime = sim::fileWriteTime("C:\\old.txt");
  FILETIME time = {0x12345678, 0x01C00000};
  sim::failCall(sim::Fault::fileTimeSet);
  EXPECT_FALSE(SetFileTime(handle, &time, nullptr, &time));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(sim::fileWriteTime("C:\\old.txt"), writeTime);
  EXPECT_TRUE(CloseHandle(handle));
}

TEST_F(SimFaultsTest, RegistryCopiesMovesProfilesLinksAndTheHeapRefuseAsWindowsDoes) {
  HKEY key = reinterpret_cast<HKEY>(1);
  sim::failCall(sim::Fault::registryKeyCreate);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(key, nullptr);
  EXPECT_FALSE(sim::registryKeyExists(HKEY_LOCAL_MACHINE, kKey));
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  sim::failCall(sim::Fault::registryValueSet);
  EXPECT_EQ(RegSetValueExA(key, "VelkPipe", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_ACCESS_DENIED);
  sim::RegistryValue value;
  EXPECT_FALSE(sim::registryValue(HKEY_LOCAL_MACHINE, kKey, "VelkPipe", &value));
  EXPECT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(sim::callSubjects(sim::Fault::registryValueSet),
            (std::vector<std::string>{std::string("HKEY_LOCAL_MACHINE\\") + kKey + "\\VelkPipe",
                                      std::string("HKEY_LOCAL_MACHINE\\") + kKey}));

  ASSERT_TRUE(sim::writeFile("C:\\driver.dll", "driver"));
  sim::failCall(sim::Fault::fileCopy);
  EXPECT_FALSE(CopyFileA("C:\\driver.dll", "C:\\copy.dll", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_FALSE(sim::fileExists("C:\\copy.dll"));

  sim::failCall(sim::Fault::moveOnRestart);
  EXPECT_FALSE(MoveFileExA("C:\\driver.dll", "C:\\old.dll", MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(sim::delayedMoves().empty());

  sim::failCall(sim::Fault::profileWrite);
  EXPECT_FALSE(WritePrivateProfileStringA("drivers", "MIDIVelkModular", "velkpipe.drv", "system.ini"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(sim::profileSection("system.ini", "drivers").empty());
  EXPECT_EQ(sim::callSubjects(sim::Fault::profileWrite),
            (std::vector<std::string>{sim::profilePath("system.ini") + " [drivers]"}));

  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  IShellLinkA* link = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                             reinterpret_cast<void**>(&link)),
            S_OK);
  IPersistFile* persist = nullptr;
  ASSERT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)), S_OK);
  sim::failCall(sim::Fault::shellLinkSave);
  const WCHAR linkPath[] = {'C', ':', '\\', 'a', '.', 'l', 'n', 'k', 0};
  EXPECT_EQ(persist->Save(linkPath, TRUE), static_cast<HRESULT>(0x80070005));  // E_ACCESSDENIED
  EXPECT_FALSE(sim::fileExists("C:\\a.lnk"));
  persist->Release();
  link->Release();
  CoUninitialize();

  int liveBlocks = sim::liveHeapBlocks();
  sim::failCall(sim::Fault::heapAlloc);
  EXPECT_EQ(HeapAlloc(GetProcessHeap(), 0, 100), nullptr);
  EXPECT_EQ(sim::liveHeapBlocks(), liveBlocks);
  EXPECT_EQ(sim::callSubjects(sim::Fault::heapAlloc), (std::vector<std::string>{"100"}));
  EXPECT_EQ(sim::injectedFaults(), 7);
}

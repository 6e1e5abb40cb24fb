// The sim's libraries as Windows has them: only the system's own, found by
// their full path in the system folder or by bare name, freed in balance,
// their exports looked up by name or ordinal; and kernel32's calls that
// steer the search, offered as each kind of Windows offers them.
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace {

class SimLibrariesTest : public SimTest {};

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);

}  // namespace

TEST_F(SimLibrariesTest, OnlyTheSystemsOwnLibrariesLoadAndTheyAreFreedInBalance) {
  ASSERT_TRUE(sim::writeFile("C:\\comctl32.dll", "MZ planted"));
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("C:\\comctl32.dll"), nullptr) << "a file is not a library";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryA("C:\\WINDOWS\\SYSTEM\\comctl32.dll"), nullptr) << "not NT's system folder";

  HMODULE byPath = LoadLibraryA("c:\\windows\\system32\\COMCTL32.DLL");
  ASSERT_NE(byPath, nullptr);
  EXPECT_EQ(LoadLibraryA("comctl32"), byPath) << "a bare name means a .dll";
  EXPECT_EQ(GetModuleHandleA("comctl32.dll"), byPath);
  EXPECT_EQ(sim::loadedLibraryCount(), 2);
  EXPECT_TRUE(FreeLibrary(byPath));
  EXPECT_TRUE(FreeLibrary(byPath));
  EXPECT_FALSE(FreeLibrary(byPath));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetModuleHandleA("comctl32.dll"), nullptr) << "unloaded";

  // kernel32 is there from the start without being loaded.
  EXPECT_NE(GetModuleHandleA("KERNEL32.DLL"), nullptr);
  EXPECT_EQ(GetModuleHandleA(nullptr), sim::programModule());

  sim::removeSystemLibrary("COMCTL32.dll");
  EXPECT_EQ(LoadLibraryA("C:\\WINDOWS\\SYSTEM32\\comctl32.dll"), nullptr);
  EXPECT_EQ(sim::loadedLibraryCount(), 0);
}

TEST_F(SimLibrariesTest, ExportsAreFoundByOrdinalOrNameAndOthersAreNot) {
  HMODULE commonControls = LoadLibraryA("C:\\WINDOWS\\SYSTEM32\\comctl32.dll");
  ASSERT_NE(commonControls, nullptr);
  EXPECT_NE(GetProcAddress(commonControls, MAKEINTRESOURCEA(17)), nullptr);
  EXPECT_EQ(GetProcAddress(commonControls, MAKEINTRESOURCEA(17)),
            GetProcAddress(commonControls, "InitCommonControls"));
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(commonControls, MAKEINTRESOURCEA(18)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  EXPECT_EQ(GetProcAddress(kernel, MAKEINTRESOURCEA(17)), nullptr);
  EXPECT_EQ(GetProcAddress(kernel, "InitCommonControls"), nullptr);
}

TEST_F(SimLibrariesTest, KernelOffersTheSearchCallsOfItsFamilyAndChecksTheirFlags) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  ASSERT_NE(GetProcAddress(kernel, "SetDllDirectoryA"), nullptr);
  FARPROC found = GetProcAddress(kernel, "SetDefaultDllDirectories");
  ASSERT_NE(found, nullptr);
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(found));
  for (DWORD refused : {0x0u, 0x1u, 0x2000u, 0x800u | 0x8u}) {
    SetLastError(0);
    EXPECT_FALSE(setDefault(refused)) << refused;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
  EXPECT_EQ(sim::defaultDllDirectories(), 0u);
  EXPECT_TRUE(setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32));
  EXPECT_EQ(sim::defaultDllDirectories(), static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));

  sim::setWindowsFamily(sim::WindowsFamily::Win9x);
  EXPECT_EQ(GetProcAddress(kernel, "SetDefaultDllDirectories"), nullptr);
  EXPECT_EQ(GetProcAddress(kernel, "SetDllDirectoryA"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

// The Windows version, the Windows and system folders, the tick clock and
// the processor of the simulated machine.
#include <sys/stat.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/host_processor.h"
#include "sim/machine.h"

using sim::machine;

namespace {

// A Pentium II: floating-point unit (bit 0) and conditional moves (bit 15)
// among the usual flags.
const uint32_t kPentiumIIFeatures = 0x0183F9FF;
const uint32_t kFloatingPointUnitBit = 1u << 0;

struct SystemState {
  sim::WindowsFamily family = sim::WindowsFamily::NT;
  DWORD tickCount = 0x00100000;
  DWORD tickStep = 0;
  std::vector<DWORD> sleeps;
  bool processorHasCpuid = true;
  uint32_t processorFeatures = kPentiumIIFeatures;
  bool processorHasFpu = true;
  bool versionQueryFails = false;
  std::string windowsFolder = "C:\\WINDOWS";
  std::string systemFolder;  // empty: the family's own folder below the Windows folder
};

SystemState& systemState() {
  static SystemState state;
  return state;
}

// Makes every missing level of a Windows path on the host, as an installed
// Windows has its folders. Fails when the path names no simulated drive.
bool makeFolders(const std::string& windowsPath) {
  std::string host = sim::hostPath(windowsPath.substr(0, 3));
  if (host.empty()) return false;
  for (size_t end = 3; end <= windowsPath.size(); ++end) {
    if (end < windowsPath.size() && windowsPath[end] != '\\' && windowsPath[end] != '/') continue;
    std::string level = sim::hostPath(windowsPath.substr(0, end));
    mkdir(level.c_str(), 0777);
  }
  return sim::folderExists(windowsPath);
}

// Both families have both folders; which one is "the" system folder depends
// on the family.
void makeWindowsFolders() {
  const std::string& windows = systemState().windowsFolder;
  makeFolders(windows + "\\SYSTEM");
  makeFolders(windows + "\\SYSTEM32");
}

sim::ResetHook clearSystemState([] {
  systemState() = SystemState();
  // The hooks run before the machine adds drive C:, which the folders need.
  sim::addDrive('C');
  makeWindowsFolders();
});

// Copies `text` as the folder calls do: the length without the terminator
// when it fits, else the size the buffer would need, terminator included.
UINT copyFolder(const std::string& text, LPSTR buffer, UINT size) {
  if (text.size() + 1 > size) return static_cast<UINT>(text.size() + 1);
  memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<UINT>(text.size());
}

}  // namespace

namespace sim {

void setWindowsFamily(WindowsFamily family) { systemState().family = family; }

WindowsFamily windowsFamily() { return systemState().family; }

void setVersionQueryFails(bool fails) { systemState().versionQueryFails = fails; }

std::string windowsFolder() { return systemState().windowsFolder; }

std::string systemFolder() {
  if (!systemState().systemFolder.empty()) return systemState().systemFolder;
  return systemState().windowsFolder + (systemState().family == WindowsFamily::NT ? "\\SYSTEM32" : "\\SYSTEM");
}

bool setWindowsFolder(const std::string& windowsPath) {
  systemState().windowsFolder = windowsPath;
  if (!makeFolders(windowsPath)) return false;
  makeWindowsFolders();
  return true;
}

bool setSystemFolder(const std::string& windowsPath) {
  systemState().systemFolder = windowsPath;
  return makeFolders(windowsPath);
}

DWORD tickCount() { return systemState().tickCount; }
void setTickCount(DWORD milliseconds) { systemState().tickCount = milliseconds; }
void advanceClock(DWORD milliseconds) { systemState().tickCount += milliseconds; }
void setClockStepPerReading(DWORD milliseconds) { systemState().tickStep = milliseconds; }
const std::vector<DWORD>& sleeps() { return systemState().sleeps; }

void setProcessorFeatures(uint32_t cpuidFeatureFlags) {
  systemState().processorHasCpuid = true;
  systemState().processorFeatures = cpuidFeatureFlags;
}

void setProcessorWithoutCpuid(bool hasFloatingPointUnit) {
  systemState().processorHasCpuid = false;
  systemState().processorHasFpu = hasFloatingPointUnit;
}

}  // namespace sim

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
  // Windows 98 knows only the plain record; NT also takes the extended one
  // (156 bytes), of which the plain part is all the program reads.
  bool nt = systemState().family == sim::WindowsFamily::NT;
  DWORD size = info->dwOSVersionInfoSize;
  if (systemState().versionQueryFails || (size != sizeof(OSVERSIONINFOA) && (!nt || size != 156))) {
    machine().lastError = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  memset(reinterpret_cast<char*>(info) + sizeof(DWORD), 0, size - sizeof(DWORD));
  if (nt) {  // Windows XP Service Pack 3
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    strcpy(info->szCSDVersion, "Service Pack 3");
  } else {  // Windows 98 Second Edition: the high word of the build repeats the version
    info->dwMajorVersion = 4;
    info->dwMinorVersion = 10;
    info->dwBuildNumber = 0x040A08AE;
    info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    strcpy(info->szCSDVersion, " A ");
  }
  return TRUE;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  return copyFolder(systemState().windowsFolder, buffer, size);
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) { return copyFolder(sim::systemFolder(), buffer, size); }

// Each reading may move the clock on by a set step, so that a test can let
// time pass between two readings without the program sleeping; the counter
// wraps as Windows' does.
DWORD WINAPI GetTickCount(void) {
  DWORD now = systemState().tickCount;
  systemState().tickCount += systemState().tickStep;
  return now;
}

// Nothing else happens while the program sleeps: the clock just moves on.
void WINAPI Sleep(DWORD milliseconds) {
  systemState().sleeps.push_back(milliseconds);
  systemState().tickCount += milliseconds;
}

uint32_t processorFeatureFlags(void) {
  if (systemState().processorHasCpuid) return systemState().processorFeatures;
  return systemState().processorHasFpu ? kFloatingPointUnitBit : 0;
}

// The checksums run on the host's processor whatever machine is simulated.
bool processorHasCarrylessMultiply(void) { return hostHasCarrylessMultiply(); }

int formatTextList(char* buffer, size_t size, const char* format, va_list arguments) {
  if (size == 0) return -1;
  int length = vsnprintf(buffer, size, format, arguments);
  return length >= 0 && static_cast<size_t>(length) < size ? length : -1;
}

double runtimeExp(double x) { return std::exp(x); }

double runtimeLog(double x) { return std::log(x); }

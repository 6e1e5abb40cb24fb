// Lays down what an installation into the folder on its command line leaves
// behind, with the setup's own steps: a few folders and files of each kind
// recorded in _vmunins.dat, the uninstaller (the real _vmunins.exe beside
// this probe, unrecorded like every file of its payload entry), the driver
// file extracted from its payload entry (linked into the probe), then the
// registration, the Start Menu items and the pipe driver.
// Exit code 0 when every step held; otherwise it names the step that failed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/paths.h"
#include "install/pipe_driver.h"
#include "install/registry.h"
#include "install/shortcuts.h"
#include "extract/uninstall_list.h"
#include "payload/component_table.h"
#include "extract/extraction.h"
#include "base/context.h"
#include "base/windows_version.h"

namespace {


std::string target;
UninstallList records;

bool fail(const char* step) {
  printf("install_probe: %s failed (error %lu)\n", step, GetLastError());
  return false;
}

std::string in(const char* name) { return target + "\\" + name; }

// A re-installation finds its folders made already.
bool addFolder(const char* name) {
  return (CreateDirectoryA(in(name).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) &&
         records.addRecord(in(name).c_str(), kUninstallFolder);
}

bool writeFile(const std::string& path, const char* content) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool written = fputs(content, file) >= 0;
  return fclose(file) == 0 && written;
}

bool addFile(const char* name, const char* content) {
  return writeFile(in(name), content) && records.addRecord(in(name).c_str(), kUninstallFile);
}

// The driver as the setup extracts it, recorded as the setup records it.
bool addDriver(bool nt) {
  recordWrittenFiles = 0;
  if (extractEntry(nt ? kPipeDriverEntryNt : kPipeDriverEntry9x, nullptr) != kExtractDone) return false;
  return records.addRecord(in(nt ? "_velkp32.dll" : "_velkp16.drv").c_str(), kUninstallFile);
}

std::string folderOfThisProgram() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  char* lastSeparator = strrchr(path, '\\');
  if (lastSeparator != nullptr) *lastSeparator = '\0';
  return path;
}

bool extract(bool withDriver) {
  bool nt = isWindowsNT();
  if (!createDirectoryPath(target.c_str())) return fail("creating the target folder");
  if (!records.addRecord(in(kUninstallFileName).c_str(), kUninstallFile)) return fail("recording the data file");
  if (!addFolder("Help") || !addFile("vm.exe", "MZ synthesizer") || !addFile("vm.hlp", "help") ||
      !addFile("Help\\Getting Started.txt", "start here") || !addFolder("Work") || !addFolder("Modules") ||
      !addFolder("Modules\\Env") || !addFile("Modules\\Env\\ADSR.vmm", "module") ||
      (withDriver && !addDriver(nt)))
    return fail("extracting the program's entries");
  std::string uninstaller = folderOfThisProgram() + "\\" + kUninstallerName;
  if (!CopyFileA(uninstaller.c_str(), in(kUninstallerName).c_str(), FALSE)) return fail("copying the uninstaller");
  if (!addFile("Velk Modular Home Page.url", "[InternetShortcut]\r\nURL=http://example.invalid/\r\n") ||
      !addFile("Velk Modular License.txt", "licence"))
    return fail("extracting the support entries");
  if (!records.saveTo(in(kUninstallFileName).c_str())) return fail("saving the data file");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  bool withDriver = !(argc > 1 && strcmp(argv[1], "/nodriver") == 0);
  if (!withDriver) ++first;
  for (int i = first; i < argc; ++i) target += (i > first ? " " : "") + std::string(argv[i]);
  if (target.empty() || target.size() >= sizeof installOptions.targetFolder) {
    printf("usage: install_probe [/nodriver] TARGET_FOLDER\n");
    return 2;
  }
  snprintf(installOptions.targetFolder, sizeof installOptions.targetFolder, "%s", target.c_str());
  for (int32_t& selected : installOptions.componentSelected) selected = 1;
  printf("install_probe: installing into %s as Windows %s\n", target.c_str(), isWindowsNT() ? "NT" : "9x");

  // As the setup does: an earlier installation into this folder is taken
  // over, and if it counted the driver, the driver is not counted again.
  records.loadFrom(in(kUninstallFileName).c_str());
  bool driverCountedBefore = listsPipeDriverSource(records, target.c_str());
  if (!extract(withDriver)) return 3;
  registerProduct();
  if (FAILED(CoInitialize(nullptr))) {
    fail("starting COM");
    return 4;
  }
  bool shortcuts = createStartMenuItems(nullptr);
  CoUninitialize();
  if (!shortcuts) {
    fail("making the Start Menu items");
    return 5;
  }
  if (withDriver && !installPipeDriver(driverCountedBefore)) {
    fail("installing the pipe driver");
    return 6;
  }
  return 0;
}

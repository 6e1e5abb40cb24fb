// An installation of the product on the simulated machine, made by the
// setup's own steps (the data file, registration, Start Menu items and pipe
// driver), for the tests of the uninstaller to remove again.
#ifndef VM_TESTS_UNINSTALL_FIXTURE_H
#define VM_TESTS_UNINSTALL_FIXTURE_H

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/paths.h"
#include "install/pipe_driver.h"
#include "install/registry.h"
#include "install/shortcuts.h"
#include "extract/uninstall_list.h"
#include "install_fixture.h"
#include "payload/catalogue.h"
#include "payload/component_table.h"
#include "vmpack/entry_builder.h"
#include "uninstall/uninstaller.h"

const char kInstallFolder[] = "C:\\Program Files\\Velk Modular";
const char kProductKey[] = "SOFTWARE\\Brantic\\Velk Modular";
const char kVendorKey[] = "SOFTWARE\\Brantic";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velk Modular";
const char kAppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vm.exe";
const char kSharedDllsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kDrivers32Key[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const char kDriversDescKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";
const std::string kDriverContent = "MZ...Velk Modular MIDI pipe driver 2.08...";

class UninstallTest : public InstallStepTest {
 protected:
  void SetUp() override {
    InstallStepTest::SetUp();
    ASSERT_TRUE(sim::writeFile(sim::profilePath("system.ini"), "[drivers]\r\nwave=mmsystem.dll\r\n"));
    // Folders every machine has, which the setup only fills.
    ASSERT_TRUE(createDirectoryPath("C:\\Program Files"));
  }

  void TearDown() override {
    EXPECT_EQ(sim::openProcessHandleCount(), 0) << "a process handle was left open";
    EXPECT_EQ(sim::liveShellLinks(), 0) << "a shell link was not released";
    EXPECT_FALSE(sim::comInitialized());
    InstallStepTest::TearDown();
  }

  static std::string in(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

  // What the extraction of a small payload leaves in `folder`, recorded in
  // its data file as the installation records it; then the steps after the
  // extraction, as the installation runs them.
  void install(const std::string& folder, bool withDriver = true) {
    setTargetFolder(folder);
    ASSERT_TRUE(createDirectoryPath(folder.c_str()));
    bool nt = sim::windowsFamily() == sim::WindowsFamily::NT;
    UninstallList list;
    auto addFolder = [&](const std::string& name) {
      ASSERT_TRUE(createDirectoryPath(in(folder, name).c_str()));
      ASSERT_TRUE(list.addRecord(in(folder, name).c_str(), kUninstallFolder));
    };
    auto addFile = [&](const std::string& name, const std::string& content) {
      ASSERT_TRUE(sim::writeFile(in(folder, name), content));
      ASSERT_TRUE(list.addRecord(in(folder, name).c_str(), kUninstallFile));
    };
    ASSERT_TRUE(list.addRecord(in(folder, kUninstallFileName).c_str(), kUninstallFile));
    addFolder("Help");
    addFile("vm.exe", "MZ synthesizer");
    addFile("vm.hlp", "help");
    addFile("Help\\Getting Started.txt", "start here");
    addFolder("Work");
    addFolder("Modules");
    addFolder("Modules\\Env");
    addFile("Modules\\Env\\ADSR.vmm", "module");
    if (withDriver) {
      addFile(nt ? "_velkp32.dll" : "_velkp16.drv", kDriverContent);
      // The payload entry the driver came from, whose catalogue vouches for it.
      sim::addResource(kPayloadResourceType, nt ? kPipeDriverEntryNt : kPipeDriverEntry9x,
                       makeEntry({}, {{nt ? "_velkp32.dll" : "_velkp16.drv", kDriverContent}}));
    }
    // The uninstaller itself is extracted but never recorded.
    ASSERT_TRUE(sim::writeFile(in(folder, "_vmunins.exe"), "MZ uninstaller"));
    addFile("Velk Modular Home Page.url", "[InternetShortcut]\r\nURL=http://velk.example/\r\n");
    addFile("Velk Modular License.txt", "licence");
    ASSERT_TRUE(list.saveTo(in(folder, kUninstallFileName).c_str()));

    registerProduct();
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    bool madeShortcuts = createStartMenuItems(nullptr);
    CoUninitialize();
    ASSERT_TRUE(madeShortcuts);
    if (withDriver) {
      ASSERT_TRUE(installPipeDriver());
    }
  }

  // The uninstaller as the user starts it from `folder`, answering the
  // question with `answer` and the message that follows, if any, with
  // `closingAnswer`.
  void startUninstaller(const std::string& folder, int answer, int closingAnswer = 0) {
    sim::setProgramPath(in(folder, "_vmunins.exe"));
    sim::answerNextMessageBox(answer);
    if (closingAnswer != 0) sim::answerNextMessageBox(closingAnswer);
    EXPECT_EQ(runUninstaller(""), 0);
    sim::endProgram();
  }

  // The copy the last run started, with the command line its WinMain gets.
  void runCopy() {
    ASSERT_FALSE(sim::startedProcesses().empty()) << "no copy was started";
    const sim::StartedProcess& copy = sim::startedProcesses().back();
    sim::setProgramPath(copy.application);
    size_t closingQuote = copy.commandLine.find('"', 1);
    ASSERT_NE(closingQuote, std::string::npos);
    EXPECT_EQ(runUninstaller(copy.commandLine.substr(closingQuote + 2).c_str()), 0);
    sim::endProgram();
  }

  // Yes to the question, then the copy, whose closing message is answered
  // with `closingAnswer` (No to the restart it may offer).
  void uninstall(const std::string& folder, int closingAnswer = IDOK) {
    startUninstaller(folder, IDYES);
    sim::answerNextMessageBox(closingAnswer);
    runCopy();
  }

  // Every file and folder of drive C:, as paths below its root.
  std::set<std::string> driveContents() const {
    std::set<std::string> contents;
    std::string drive = root() + "/C";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(drive))
      contents.insert(entry.path().string().substr(drive.size()));
    return contents;
  }

  static std::string lastMessage() {
    return sim::messageBoxes().empty() ? std::string() : sim::messageBoxes().back().text;
  }

  static std::string driverPath() {
    return sim::systemFolder() + (sim::windowsFamily() == sim::WindowsFamily::NT ? "\\velkpipe.dll" : "\\velkpipe.drv");
  }
};

#endif  // VM_TESTS_UNINSTALL_FIXTURE_H

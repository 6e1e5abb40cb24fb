// Every call of a complete installation that Windows can refuse is refused in
// turn, one per run, each run on a fresh machine, on Windows NT and on 9x:
// opening a file for writing, a write, a file's time, a folder, a registry key
// or value, the driver's copy, its move at the next start, a profile file, a
// shortcut, a heap block. Whatever is refused, the installation must end the
// way the step that met the refusal promises: that step's message and result,
// everything removed again where the step rolls back, a data file that lists
// what is there where it does not, and never a crash, a hang, or a success
// that left something out.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "disk_image.h"
#include "install/installation.h"
#include "install/registry.h"
#include "install/shortcuts.h"
#include "installing_fixture.h"
#include "payload/checksum.h"
#include "payload/component_table.h"
#include "vmpack/entry_builder.h"

namespace {

const char kTarget[] = "C:\\Program Files\\Velk Modular";
const char kTargetParent[] = "C:\\Program Files";
const char kDriverMarker[] = "Velk Modular MIDI pipe driver";

std::string inTarget(const std::string& name) { return std::string(kTarget) + "\\" + name; }

const std::string kDataFile = inTarget("_vmunins.dat");

// The product in small: every entry id of the component table, the
// folder-only entry 103 that makes the work folder, a file larger than the
// stdio buffer so that it goes out in more than one write, and entry 1000,
// the uninstaller, whose files stay out of the data file. Packed once.
const std::vector<std::pair<int, std::vector<uint8_t>>>& samplePayload() {
  static const std::vector<std::pair<int, std::vector<uint8_t>>> entries = [] {
    std::string program;
    for (int i = 0; i < 9000; ++i) program.push_back(static_cast<char>('a' + i * 7 % 26));
    return std::vector<std::pair<int, std::vector<uint8_t>>>{
        {100, makeEntry({}, {{"vm.exe", program}, {"Readme.txt", "read me"}})},
        {101, makeEntry({"Help"}, {{"vm.hlp", "help"}, {"Help\\topics.txt", "topics"}})},
        {102, makeEntry({"Tunings"}, {{"Tunings\\just.tun", "just"}})},
        {103, makeEntry({"Work"}, {})},
        {104, makeEntry({"Presets"}, {{"Presets\\default.vmp", "default"}})},
        {105, makeEntry({"Bin"}, {{"Bin\\fx.dll", "fx"}})},
        {200, makeEntry({"Modules", "Modules\\Standard"}, {{"Modules\\Standard\\osc.vmm", "osc"}})},
        {300, makeEntry({"Library"}, {{"Library\\user.vmm", "user"}})},
        {400, makeEntry({}, {{"_velkp16.drv", std::string("16 ") + kDriverMarker}})},
        {450, makeEntry({}, {{"_velkp32.dll", std::string("32 ") + kDriverMarker}})},
        {500, makeEntry({"Examples"}, {{"Examples\\demo.vme", "demo"}})},
        {600, makeEntry({"Skins"}, {{"Skins\\classic.skn", "classic"}})},
        {601, makeEntry({"Skins", "Skins\\Dark"}, {{"Skins\\Dark\\dark.skn", "dark"}})},
        {1000, makeEntry({}, {{"_vmunins.exe", "uninstaller"}})},
        {1001, makeEntry({}, {{"Velk Modular Home Page.url", "[InternetShortcut]\r\nURL=http://velk.example/\r\n"}})},
        {1002, makeEntry({}, {{"Velk Modular License.txt", "licence"}})},
    };
  }();
  return entries;
}

bool isNT(sim::WindowsFamily family) { return family == sim::WindowsFamily::NT; }

std::string lowerCase(std::string text) {
  for (char& ch : text) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
  return text;
}

bool startsWithPath(const std::string& path, const std::string& folder) {
  return lowerCase(path).compare(0, folder.size() + 1, lowerCase(folder) + "\\") == 0;
}

// How a run may end, each with the message that belongs to it.
enum class Ending {
  done,                     // result 0, no message
  fileNotWritten,           // "Failed to write <path>", result 2, rolled back
  uninstallInfoNotWritten,  // result 2, rolled back
  targetNotCreated,         // result 2, nothing done
  startMenuNotMade,         // result 2, the installation and its data file stay
  driverNotInstalled,       // result 2, the installation, its data file and the shortcuts stay
};

struct Expected {
  Ending ending;
  std::string path;  // the file named by "Failed to write"

  std::string message() const {
    switch (ending) {
      case Ending::done: return "";
      case Ending::fileNotWritten: return "Failed to write " + path;
      case Ending::uninstallInfoNotWritten: return "Failed to create uninstall info. Aborting setup";
      case Ending::targetNotCreated: return std::string("Failed to create ") + kTarget;
      case Ending::startMenuNotMade: return "Failed to create the Start Menu items";
      case Ending::driverNotInstalled: return "Failed to install the Velk Pipe driver";
    }
    return "?";
  }
};

const char kEndedAsDocumented[] = "ended as documented: ";

const char* const kEndingNames[] = {"done", "file not written", "uninstall info not written", "target not created",
                                     "Start Menu not made", "driver not installed"};

// What a run looked like from outside.
struct Outcome {
  int32_t result;
  std::vector<sim::MessageBoxRecord> boxes;
  std::vector<std::string> calls;  // what each call of the kind watched was about
};

// The ending a message announces, for the refusals whose step cannot be told
// from the call alone (heap blocks). False for a message no refusal may cause.
bool endingAnnounced(const Outcome& outcome, Expected* expected) {
  if (outcome.boxes.empty()) {
    *expected = Expected{Ending::done, ""};
    return true;
  }
  const std::string& text = outcome.boxes.front().text;
  const std::string writeFailed = "Failed to write ";
  if (text.compare(0, writeFailed.size(), writeFailed) == 0) {
    *expected = Expected{Ending::fileNotWritten, text.substr(writeFailed.size())};
    return startsWithPath(expected->path, kTarget);
  }
  for (Ending ending : {Ending::uninstallInfoNotWritten, Ending::targetNotCreated, Ending::startMenuNotMade,
                        Ending::driverNotInstalled}) {
    if (text == Expected{ending, ""}.message()) {
      *expected = Expected{ending, ""};
      return true;
    }
  }
  return false;
}

// The registration's keys: refusals there are silent and the step goes on.
bool isRegistrationKey(const std::string& subject, sim::WindowsFamily family) {
  std::string uninstallRoot = isNT(family) ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\";
  for (std::string key : {uninstallRoot + kUninstallKeyPath, std::string("HKEY_CURRENT_USER\\") + kProductKeyPath,
                          std::string("HKEY_LOCAL_MACHINE\\") + kAppPathKeyPath}) {
    if (lowerCase(subject) == lowerCase(key) || startsWithPath(subject, key)) return true;
  }
  return false;
}

struct Scenario {
  sim::WindowsFamily family;
  sim::Fault kind;
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
  *out << (isNT(scenario.family) ? "NT, " : "9x, ") << sim::faultName(scenario.kind);
}

std::string scenarioName(const ::testing::TestParamInfo<Scenario>& info) {
  std::string name = std::string(isNT(info.param.family) ? "NT" : "Win9x") + "_" + sim::faultName(info.param.kind);
  for (char& ch : name)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

// The kinds a complete installation meets on each family: NT moves the
// driver at the next start by MoveFileExA and registers it in the registry,
// 9x writes both into profile files.
std::vector<Scenario> refusableCalls() {
  std::vector<Scenario> scenarios;
  for (sim::WindowsFamily family : {sim::WindowsFamily::NT, sim::WindowsFamily::Win9x}) {
    for (sim::Fault kind : sim::faultKinds()) {
      if (kind == sim::Fault::heapAlloc) continue;
      if (kind == (isNT(family) ? sim::Fault::profileWrite : sim::Fault::moveOnRestart)) continue;
      // The installation copies no file: the driver is written from the payload.
      if (kind == sim::Fault::fileCopy) continue;
      scenarios.push_back(Scenario{family, kind});
    }
  }
  return scenarios;
}

class InstallationFaultsTest : public InstallingTest, public ::testing::WithParamInterface<Scenario> {
 protected:
  void TearDown() override {
    CoUninitialize();
    selectPipeDriverEntry(false);
    InstallingTest::TearDown();
  }

  sim::WindowsFamily family() const { return GetParam().family; }
  std::string driverFolder() const { return sim::systemFolder(); }
  // The driver step finds an earlier copy under the first name, so the new
  // one goes in as velkpi00 and replaces it at the next start.
  std::string earlierDriver() const { return driverFolder() + (isNT(family()) ? "\\velkpipe.dll" : "\\velkpipe.drv"); }
  std::string newDriver() const { return driverFolder() + (isNT(family()) ? "\\velkpi00.dll" : "\\velkpi00.drv"); }
  std::string driverSource() const { return inTarget(isNT(family()) ? "_velkp32.dll" : "_velkp16.drv"); }
  std::string startMenuFolder() const { return sim::programsFolder() + "\\" + kStartMenuFolderName; }

  // A new machine, and the program's process-wide objects as a new run of the
  // program finds them, so that every run makes the same calls in the same
  // order.
  void freshMachine() {
    samplePayload();  // packed before the run's state is set, since packing builds the checksum table
    uninstallList.clear();
    unrecordedFiles.clear();
    fileRecords.resize(0);
    crcTable.resize(0);
    for (const auto& item : std::filesystem::directory_iterator(root())) std::filesystem::remove_all(item.path());
    sim::reset(root());
    sim::setWindowsFamily(family());
    selectPipeDriverEntry(isNT(family()));
    for (const auto& entry : samplePayload()) installEntry(entry.first, entry.second);
    ASSERT_TRUE(sim::writeFile(earlierDriver(), std::string("earlier ") + kDriverMarker));
    installOptions = InstallOptions{"C:\\Program Files\\Velk Modular", {1, 1, 1, 1, 1, 1, 1}, 1, 0};
    cancelRequested = 0;
    writeFailed = 0;
    bytesWritten = 0;
    progressTotal = 1;
    lastPercent = 0;
    recordWrittenFiles = 1;
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    dialog_ = InstallingStandIn::create();
    ASSERT_NE(dialog_, nullptr);
  }

  // Installs with the `nth` call of `kind` refused (none for 0).
  static Outcome install(sim::Fault kind, int nth) {
    size_t callsBefore = sim::callSubjects(kind).size();
    if (nth > 0) sim::failCall(kind, nth);
    sim::answerNextMessageBox(IDOK);
    int32_t result = runInstallation();
    const std::vector<std::string>& calls = sim::callSubjects(kind);
    return Outcome{result, sim::messageBoxes(), std::vector<std::string>(calls.begin() + callsBefore, calls.end())};
  }

  // The files the installation writes, in the order it writes them.
  static std::vector<std::string> filesWritten() {
    std::vector<std::string> files;
    std::set<std::string> seen;
    for (const std::string& path : sim::callSubjects(sim::Fault::fileOpenForWriting)) {
      if (startsWithPath(path, kTarget) && seen.insert(lowerCase(path)).second) files.push_back(path);
    }
    return files;
  }

  // The ending that refusing a call of `kind` about `subject` leads to;
  // `files` are those of an undisturbed installation, in order.
  Expected expectedFor(sim::Fault kind, const std::string& subject, const std::vector<std::string>& files) const {
    switch (kind) {
      case sim::Fault::fileOpenForWriting:
      case sim::Fault::fileWrite:
      case sim::Fault::fileTimeSet:
        if (lowerCase(subject) == lowerCase(kDataFile)) return Expected{Ending::uninstallInfoNotWritten, ""};
        // The driver's copy in the system folder, written after the extraction.
        if (!startsWithPath(subject, kTarget)) return Expected{Ending::driverNotInstalled, ""};
        return Expected{Ending::fileNotWritten, subject};
      case sim::Fault::folderCreate:
        if (subject == kTarget || subject == kTargetParent) return Expected{Ending::targetNotCreated, ""};
        if (startsWithPath(subject, sim::programsFolder())) return Expected{Ending::startMenuNotMade, ""};
        // The first file that needs the folder cannot be written; a folder
        // that no file needs is reported itself.
        for (const std::string& file : files)
          if (startsWithPath(file, subject)) return Expected{Ending::fileNotWritten, file};
        return Expected{Ending::fileNotWritten, subject};
      case sim::Fault::registryKeyCreate:
      case sim::Fault::registryValueSet:
        if (isRegistrationKey(subject, family())) return Expected{Ending::done, ""};
        return Expected{Ending::driverNotInstalled, ""};
      case sim::Fault::moveOnRestart:
      case sim::Fault::profileWrite:
        return Expected{Ending::driverNotInstalled, ""};
      case sim::Fault::shellLinkSave:
        return Expected{Ending::startMenuNotMade, ""};
      case sim::Fault::fileCopy:
      case sim::Fault::heapAlloc:
        break;
    }
    ADD_FAILURE() << "no expectation for " << sim::faultName(kind);
    return Expected{Ending::done, ""};
  }

  // Everything that is wrong after a run that should have ended as
  // `expected`; empty when nothing is. `before` is the disk before the run,
  // `refused` what the refused call of `kind` was about ("" when unknown).
  std::string problemsAfter(const Expected& expected, const Outcome& outcome, const DiskImage& before,
                            sim::Fault kind, const std::string& refused) {
    std::ostringstream problems;
    int32_t result = expected.ending == Ending::done ? kInstallationDone : kInstallationStopped;
    if (outcome.result != result) problems << "result " << outcome.result << " instead of " << result << "\n";
    std::string message = expected.message();
    if (outcome.boxes.size() != (message.empty() ? 0u : 1u)) problems << outcome.boxes.size() << " message boxes\n";
    for (const sim::MessageBoxRecord& box : outcome.boxes) {
      if (box.text != message) problems << "message \"" << box.text << "\"\n";
      if (box.owner != dialog_ || box.caption != kCaption || box.flags != MB_OK)
        problems << "message \"" << box.text << "\" not owned by the dialog with the caption and OK alone\n";
    }
    problems << leftOpen();

    switch (expected.ending) {
      case Ending::fileNotWritten:
      case Ending::uninstallInfoNotWritten:
        problems << rolledBackProblems(before);
        break;
      case Ending::targetNotCreated:
        problems << rolledBackProblems(before);
        if (!sim::resourceLookups().empty()) problems << "entries were extracted\n";
        break;
      case Ending::startMenuNotMade:
        problems << dataFileProblems();
        if (!sim::registryKeyExists(HKEY_CURRENT_USER, kProductKeyPath)) problems << "the product is not registered\n";
        if (sim::fileExists(newDriver()) || installOptions.restartNeeded != 0) problems << "the driver step ran\n";
        break;
      case Ending::driverNotInstalled:
        problems << dataFileProblems() << shortcutProblems();
        break;
      case Ending::done:
        problems << dataFileProblems() << shortcutProblems() << registrationProblems(kind, refused) << driverProblems();
        break;
    }
    problems << heapProblems();
    return problems.str();
  }

  // Handles of every kind the installation takes are given back.
  static std::string leftOpen() {
    std::ostringstream problems;
    if (sim::openFileCount() != 0) problems << sim::openFileCount() << " files left open\n";
    if (sim::openRegistryKeyCount() != 0) problems << sim::openRegistryKeyCount() << " keys left open\n";
    if (sim::openFindHandleCount() != 0) problems << "a search left open\n";
    if (sim::liveShellLinks() != 0 || sim::shellAllocatorReferences() != 0 || sim::liveShellBlocks() != 0)
      problems << "a shell object left\n";
    if (sim::loadedResourceCount() != 0) problems << "a payload entry not given back\n";
    return problems.str();
  }

  // Nothing is left of the installation on any drive but the target folder
  // and its parent, which the sequence makes first and never records.
  std::string rolledBackProblems(const DiskImage& before) const {
    std::ostringstream problems;
    DiskImage after = imageOf(root());
    for (const char* level : {kTargetParent, kTarget}) {
      std::string key = sim::hostPath(level).substr(root().size());
      if (before.count(key) == 0 && after.count(key) != 0 && after[key] == kFolderInImage) after.erase(key);
    }
    std::string changes = differences(before, after);
    if (!changes.empty()) problems << "not rolled back:\n" << changes;
    if (!recordsOf(uninstallList).empty()) problems << "the uninstall list still holds records\n";
    if (installOptions.restartNeeded != 0) problems << "a restart is asked for\n";
    return problems.str();
  }

  // The data file loads, lists itself and every file the installation put
  // into the target folder (the uninstaller's own file aside), and lists
  // nothing that is not there, but the driver's file in the target folder
  // once the driver step has copied it away.
  std::string dataFileProblems() const {
    std::ostringstream problems;
    UninstallList saved;
    if (!saved.loadFrom(kDataFile.c_str())) return "the data file does not load\n";
    std::vector<RecordSeen> records = recordsOf(saved);
    saved.clear();
    auto listed = [&records](const std::string& path, int32_t kind) {
      for (const RecordSeen& record : records)
        if (record.kind == kind && lowerCase(record.path) == lowerCase(path)) return true;
      return false;
    };
    if (!listed(kDataFile, kUninstallFile)) problems << "the data file does not list itself\n";
    for (const RecordSeen& record : records) {
      bool there = record.kind == kUninstallFolder ? sim::folderExists(record.path) : sim::fileExists(record.path);
      bool copiedAway = lowerCase(record.path) == lowerCase(driverSource()) && sim::fileExists(newDriver());
      if (!there && !copiedAway) problems << "the data file lists " << record.path << ", which is not there\n";
    }
    std::string hostTarget = sim::hostPath(kTarget);
    for (const auto& item : std::filesystem::recursive_directory_iterator(hostTarget)) {
      if (item.is_directory()) continue;
      std::string path = std::string(kTarget) + item.path().string().substr(hostTarget.size());
      for (char& ch : path)
        if (ch == '/') ch = '\\';
      if (lowerCase(path) == lowerCase(inTarget("_vmunins.exe"))) continue;
      if (!listed(path, kUninstallFile)) problems << "the data file does not list " << path << "\n";
    }
    return problems.str();
  }

  std::string shortcutProblems() const {
    std::ostringstream problems;
    for (int i = 0; i < kStartMenuItemCount; ++i) {
      std::string link = startMenuFolder() + "\\" + kStartMenuItems[i].linkName;
      if (!sim::fileExists(link)) problems << "no shortcut " << link << "\n";
    }
    return problems.str();
  }

  // Each value of the registration is there but the one refused, or the
  // values of the key refused.
  std::string registrationProblems(sim::Fault kind, const std::string& refused) const {
    std::ostringstream problems;
    struct Written {
      HKEY root;
      std::string rootName;
      std::string key;
      const char* value;
    };
    HKEY uninstallRoot = isNT(family()) ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    std::string uninstallRootName = isNT(family()) ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
    std::vector<Written> written = {
        {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", kProductKeyPath, kInstallDirValue},
        {HKEY_CURRENT_USER, "HKEY_CURRENT_USER", kProductKeyPath, kWorkDirValue},
        {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", kAppPathKeyPath, ""},
        {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", kAppPathKeyPath, kAppPathFolderValue},
    };
    for (int i = 0; i < kUninstallEntryValueCount; ++i)
      written.push_back(Written{uninstallRoot, uninstallRootName, kUninstallKeyPath, kUninstallEntryValues[i]});
    for (const Written& item : written) {
      std::string key = item.rootName + "\\" + item.key;
      std::string value = key + (item.value[0] != '\0' ? "\\" + std::string(item.value) : "");
      bool isRefused = lowerCase(refused) == lowerCase(kind == sim::Fault::registryKeyCreate ? key : value);
      sim::RegistryValue stored;
      bool there = sim::registryValue(item.root, item.key, item.value, &stored);
      if (there == isRefused) problems << value << (there ? " was written" : " is missing") << "\n";
    }
    return problems.str();
  }

  std::string driverProblems() const {
    std::ostringstream problems;
    if (!sim::fileExists(newDriver())) problems << "the new driver is not in the system folder\n";
    if (installOptions.restartNeeded != 1) problems << "no restart is asked for\n";
    bool scheduled = isNT(family()) ? sim::delayedMoves().size() == 1
                                    : sim::profileSection("wininit.ini", "rename").size() == 1;
    if (!scheduled) problems << "the driver's replacement is not scheduled\n";
    return problems.str();
  }

  // Runs the installation with the `nth` heap block refused and ends the
  // process: with status 0 after a documented ending (appended to
  // `endingsFile`), with status 3 and the problems on stderr otherwise. The
  // internal error ends it with status 1 on its own.
  void installInChild(int nth, const DiskImage& before, const std::string& endingsFile) {
    Outcome outcome = install(sim::Fault::heapAlloc, nth);
    Expected expected{Ending::done, ""};
    std::string problems;
    if (!endingAnnounced(outcome, &expected)) {
      problems = "an ending no refused block may cause: \"" + outcome.boxes.front().text + "\"\n";
    } else {
      problems = problemsAfter(expected, outcome, before, sim::Fault::heapAlloc, "");
    }
    if (!problems.empty()) {
      fprintf(stderr, "%s", problems.c_str());
      fflush(stderr);
      _exit(3);
    }
    const char* name = kEndingNames[static_cast<int>(expected.ending)];
    std::ofstream(endingsFile, std::ios::app) << name << "\n";
    fprintf(stderr, "%s%s\n", kEndedAsDocumented, name);
    fflush(stderr);
    _exit(0);
  }

  // Every block the run took has gone back once the program's own lists and
  // tables let go of theirs.
  static std::string heapProblems() {
    uninstallList.clear();
    unrecordedFiles.clear();
    fileRecords.resize(0);
    crcTable.resize(0);
    if (sim::liveHeapBlocks() == 0) return "";
    return std::to_string(sim::liveHeapBlocks()) + " heap blocks never freed\n";
  }
};

TEST_P(InstallationFaultsTest, EveryRefusedCallEndsTheWayItsStepPromises) {
  const sim::Fault kind = GetParam().kind;
  ASSERT_NO_FATAL_FAILURE(freshMachine());
  DiskImage clean = imageOf(root());
  Outcome undisturbed = install(kind, 0);
  const std::vector<std::string> subjects = undisturbed.calls;
  const std::vector<std::string> files = filesWritten();
  ASSERT_EQ(problemsAfter(Expected{Ending::done, ""}, undisturbed, clean, kind, ""), "");
  ASSERT_FALSE(subjects.empty()) << "a complete installation makes no such call";
  RecordProperty("runs", static_cast<int>(subjects.size()));

  for (size_t n = 1; n <= subjects.size(); ++n) {
    SCOPED_TRACE(std::string(sim::faultName(kind)) + " " + std::to_string(n) + " of " +
                 std::to_string(subjects.size()) + " refused: " + subjects[n - 1]);
    ASSERT_NO_FATAL_FAILURE(freshMachine());
    DiskImage before = imageOf(root());
    Outcome outcome = install(kind, static_cast<int>(n));
    // The same calls as the undisturbed run, up to the refused one.
    ASSERT_EQ(sim::injectedFaults(), 1);
    ASSERT_GE(outcome.calls.size(), n);
    ASSERT_EQ(outcome.calls[n - 1], subjects[n - 1]);
    Expected expected = expectedFor(kind, subjects[n - 1], files);
    EXPECT_EQ(problemsAfter(expected, outcome, before, kind, subjects[n - 1]), "")
        << "expected: " << kEndingNames[static_cast<int>(expected.ending)] << " " << expected.path;
  }
}

INSTANTIATE_TEST_SUITE_P(EachKindOnEachFamily, InstallationFaultsTest, ::testing::ValuesIn(refusableCalls()),
                         scenarioName);

// A heap block refused: where the program's arrays cannot grow, the next
// access ends in the internal error, as the containers promise; anywhere else
// the installation ends as the step that wanted the block promises. Each run
// goes on in a child process, which judges its own ending and reports it.
using InstallationHeapFaultsTest = InstallationFaultsTest;

bool endedOrInternalError(int status) {
  return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 1);
}

TEST_P(InstallationHeapFaultsTest, EveryRefusedBlockEndsAsDocumentedOrInTheInternalError) {
  // Forked children: each run starts from this process's state as it stands.
  GTEST_FLAG_SET(death_test_style, "fast");
  const sim::Fault kind = sim::Fault::heapAlloc;
  ASSERT_NO_FATAL_FAILURE(freshMachine());
  DiskImage clean = imageOf(root());
  Outcome undisturbed = install(kind, 0);
  const int calls = static_cast<int>(undisturbed.calls.size());
  ASSERT_EQ(problemsAfter(Expected{Ending::done, ""}, undisturbed, clean, kind, ""), "");
  ASSERT_GT(calls, 0);

  const std::string endingsFile = root() + ".endings";
  std::remove(endingsFile.c_str());
  for (int n = 1; n <= calls; ++n) {
    SCOPED_TRACE("heap block " + std::to_string(n) + " of " + std::to_string(calls) + " refused");
    ASSERT_NO_FATAL_FAILURE(freshMachine());
    DiskImage before = imageOf(root());
    EXPECT_EXIT(installInChild(n, before, endingsFile),
                endedOrInternalError, std::string("\\[MessageBox Internal error\\] File 10|") + kEndedAsDocumented);
  }

  std::ifstream in(endingsFile);
  std::multiset<std::string> endings;
  for (std::string line; std::getline(in, line);) endings.insert(line);
  std::remove(endingsFile.c_str());
  RecordProperty("runs", calls);
  RecordProperty("internal_errors", calls - static_cast<int>(endings.size()));
  // Not every block ends in the internal error: without memory for a record
  // of the uninstall list the installation stops with a message.
  EXPECT_GT(endings.count("file not written"), 0u);
  EXPECT_GT(endings.count("uninstall info not written"), 0u);
}

INSTANTIATE_TEST_SUITE_P(EachFamily, InstallationHeapFaultsTest,
                         ::testing::Values(Scenario{sim::WindowsFamily::NT, sim::Fault::heapAlloc},
                                           Scenario{sim::WindowsFamily::Win9x, sim::Fault::heapAlloc}),
                         scenarioName);

}  // namespace

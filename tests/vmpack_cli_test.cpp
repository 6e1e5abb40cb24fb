// The vmpack program as a build script runs it: pack, list, verify and
// extract round trips with names and times, one-line errors with status 1 and
// no output for input it cannot pack, and "corrupt" for damaged entries.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "payload/catalogue.h"
#include "payload/checksum.h"
#include "vmpack/entry_builder.h"

namespace fs = std::filesystem;

namespace {

struct ProgramRun {
  int status;
  std::string out;
  std::string err;
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void spill(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

void spillEntry(const fs::path& path, const std::vector<uint8_t>& bytes) { spill(path, std::string(bytes.begin(), bytes.end())); }

// A file's time in the 100-ns steps a FILETIME keeps.
int64_t fileTimeTicks(const fs::path& path) {
  auto sinceEpoch = fs::last_write_time(path).time_since_epoch();
  return std::chrono::floor<std::chrono::duration<int64_t, std::ratio<1, 10000000>>>(sinceEpoch).count();
}

// Stores the checksum that matches the body again, so that damage further in
// reaches the catalogue reader or the decoder.
std::vector<uint8_t> resealed(std::vector<uint8_t> entry) {
  uint32_t checksum = payloadChecksum(entry.data() + kBodyOffset, static_cast<int32_t>(entry.size() - kBodyOffset));
  for (int i = 0; i < 4; ++i) entry[kChecksumOffset + i] = static_cast<uint8_t>(checksum >> (8 * i));
  return entry;
}

class VmpackCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vmpack-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  ProgramRun vmpack(const std::string& arguments) {
    fs::path out = root_ / "stdout.txt";
    fs::path err = root_ / "stderr.txt";
    std::string command = std::string(VMPACK_PATH) + " " + arguments + " >" + out.string() + " 2>" + err.string();
    int status = system(command.c_str());
    return ProgramRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
  }

  // A failure: status 1, one line on stderr holding `expected`.
  void expectOneLineError(const ProgramRun& run, const std::string& expected) {
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }

  std::string path(const std::string& relative) { return "'" + (root_ / relative).string() + "'"; }

  fs::path root_;
};

}  // namespace

TEST_F(VmpackCliTest, PackedFoldersExtractWithTheirNamesContentsAndTimes) {
  spill(root_ / "in/Help/vm.hlp", "help text help text");
  spill(root_ / "in/Help/deep/er/notes.txt", "notes");
  spill(root_ / "in/caf\xC3\xA9 menu.txt", "menu");
  spill(root_ / "in/vm.exe", std::string(70000, 'M'));
  fs::create_directories(root_ / "in/Work");
  fs::last_write_time(root_ / "in/vm.exe", fs::file_time_type(std::chrono::hours(24 * 365)));

  ASSERT_EQ(vmpack("pack " + path("in") + " " + path("e.bin")).status, 0);
  ProgramRun list = vmpack("list " + path("e.bin"));
  EXPECT_EQ(list.status, 0);
  // Folders parents first, the folder names with backslashes, names as UTF-8.
  EXPECT_NE(list.out.find("folder  Help\nfolder  Help\\deep\nfolder  Help\\deep\\er\nfolder  Work\n"), std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("caf\xC3\xA9 menu.txt"), std::string::npos);
  EXPECT_EQ(vmpack("verify " + path("e.bin")).status, 0);

  ASSERT_EQ(vmpack("extract " + path("e.bin") + " " + path("out")).status, 0);
  for (const char* name : {"Help/vm.hlp", "Help/deep/er/notes.txt", "caf\xC3\xA9 menu.txt", "vm.exe"}) {
    EXPECT_EQ(slurp(root_ / "out" / name), slurp(root_ / "in" / name)) << name;
    EXPECT_EQ(fileTimeTicks(root_ / "out" / name), fileTimeTicks(root_ / "in" / name)) << name;
  }
  EXPECT_TRUE(fs::is_directory(root_ / "out/Work"));
}

TEST_F(VmpackCliTest, AFixedTimeMakesTheEntryReproducibleAtEveryLevel) {
  spill(root_ / "in/a.txt", "same");
  spill(root_ / "in/b/c.txt", "same again");
  ASSERT_EQ(vmpack("pack --time 132539328000000000 " + path("in") + " " + path("one.bin")).status, 0);
  fs::last_write_time(root_ / "in/a.txt", fs::file_time_type(std::chrono::hours(1)));
  ASSERT_EQ(vmpack("pack --time 132539328000000000 " + path("in") + " " + path("two.bin")).status, 0);
  EXPECT_EQ(slurp(root_ / "one.bin"), slurp(root_ / "two.bin"));
  EXPECT_NE(vmpack("list " + path("one.bin")).out.find("2021-01-01 00:00:00"), std::string::npos);
  expectOneLineError(vmpack("pack --time soon " + path("in") + " " + path("three.bin")), "--time");
  // A faster level, given before or after the time, is as reproducible.
  ASSERT_EQ(vmpack("pack --level 1 --time 132539328000000000 " + path("in") + " " + path("fast.bin")).status, 0);
  ASSERT_EQ(vmpack("pack --time 132539328000000000 --level 1 " + path("in") + " " + path("fast2.bin")).status, 0);
  EXPECT_EQ(slurp(root_ / "fast.bin"), slurp(root_ / "fast2.bin"));
  EXPECT_EQ(vmpack("verify " + path("fast.bin")).status, 0);
  for (const char* level : {"0", "4", "fast", "12"}) {
    expectOneLineError(vmpack(std::string("pack --level ") + level + " " + path("in") + " " + path("three.bin")), "--level");
  }
  EXPECT_FALSE(fs::exists(root_ / "three.bin"));
}

TEST_F(VmpackCliTest, InputThatCannotBePackedFailsInOneLineAndLeavesNoOutput) {
  spill(root_ / "out.bin", "an earlier entry");
  struct Case {
    std::string file;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"empty.txt", "empty"},
      {"\xE6\x97\xA5\xE6\x9C\xAC.txt", "Windows-1252"},
      {"what?.txt", "character ?"},
      {"a:b", "character :"},
      {"dot.", "ending in a space or a dot"},
      {"nul.txt", "device NUL"},
      {std::string(200, 'd') + "/" + std::string(70, 'f'), "260"},
  };
  for (const Case& c : cases) {
    fs::remove_all(root_ / "in");
    spill(root_ / "in/fine.txt", "fine");
    spill(root_ / "in" / c.file, c.file == "empty.txt" ? "" : "content");
    ProgramRun run = vmpack("pack " + path("in") + " " + path("out.bin"));
    expectOneLineError(run, c.expected);
    EXPECT_EQ(slurp(root_ / "out.bin"), "an earlier entry") << c.file;
  }
  expectOneLineError(vmpack("pack " + path("missing") + " " + path("out.bin")), "no such folder");
  fs::remove_all(root_ / "in");
  spill(root_ / "in/fine.txt", "fine");
  fs::create_symlink(root_ / "nowhere", root_ / "in/dangling");
  expectOneLineError(vmpack("pack " + path("in") + " " + path("out.bin")), "dangling");
  EXPECT_EQ(slurp(root_ / "out.bin"), "an earlier entry");
  for (const auto& file : fs::directory_iterator(root_)) {
    EXPECT_EQ(file.path().string().find("partial"), std::string::npos) << file.path();
  }
}

TEST_F(VmpackCliTest, DamagedEntriesAreReportedCorruptAndNothingIsExtracted) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i * 37 % 101) + " of the licence\n";
  std::vector<uint8_t> entry = makeEntry({"Docs"}, {{"Docs\\licence.txt", text}, {"readme.txt", "read me"}});
  size_t streamStart = entry.size() / 4;  // well inside the catalogue or stream
  std::vector<std::vector<uint8_t>> damaged;
  damaged.push_back(std::vector<uint8_t>(entry.begin(), entry.end() - 3));
  std::vector<uint8_t> flipped = entry;
  flipped[entry.size() / 2] ^= 0x20;
  damaged.push_back(flipped);
  // Damage behind a correct checksum reaches the catalogue and the decoder.
  for (size_t at = streamStart; at < entry.size(); at += entry.size() / 9) {
    std::vector<uint8_t> changed = entry;
    changed[at] ^= 0x5A;
    damaged.push_back(resealed(changed));
  }
  std::vector<uint8_t> cut = entry;
  cut.resize(entry.size() - 10);
  for (int i = 0; i < 4; ++i) cut[i] = static_cast<uint8_t>(cut.size() >> (8 * i));
  damaged.push_back(resealed(cut));
  for (size_t i = 0; i < damaged.size(); ++i) {
    spillEntry(root_ / "bad.bin", damaged[i]);
    expectOneLineError(vmpack("verify " + path("bad.bin")), "corrupt");
    expectOneLineError(vmpack("extract " + path("bad.bin") + " " + path("out")), "corrupt");
    EXPECT_FALSE(fs::exists(root_ / "out")) << "case " << i;
  }
  spillEntry(root_ / "bad.bin", damaged[1]);
  expectOneLineError(vmpack("list " + path("bad.bin")), "corrupt");
}

TEST_F(VmpackCliTest, NamesThatWouldLeaveTheFolderAreRefused) {
  // Built with a harmless name, then renamed in place to climb out.
  std::vector<uint8_t> entry = makeEntry({}, {{"xx\\evil.txt", "evil"}});
  std::string bytes(entry.begin(), entry.end());
  size_t at = bytes.find("xx\\evil");
  ASSERT_NE(at, std::string::npos);
  entry[at] = '.';
  entry[at + 1] = '.';
  spillEntry(root_ / "bad.bin", resealed(entry));
  expectOneLineError(vmpack("extract " + path("bad.bin") + " " + path("sub/out")), "corrupt");
  EXPECT_FALSE(fs::exists(root_ / "sub/evil.txt"));
  EXPECT_FALSE(fs::exists(root_ / "sub"));
}

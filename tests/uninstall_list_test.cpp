// The uninstall list and _vmunins.dat: the exact bytes the uninstaller reads,
// order and duplicates, damaged or planted data files, a full disk, and the
// roll-back that deletes an installation again.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "extract/uninstall_list.h"
#include "sim_fixture.h"

namespace {

const char kDataFile[] = "C:\\Target\\_vmunins.dat";
const char kInternalError[] = "Internal error";

struct Entry {
  int32_t kind;
  std::string path;
};

std::string int32Bytes(int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((bits >> shift) & 0xFF);
  return bytes;
}

std::string header(int32_t count) { return std::string("\xE0\xAA\x49\x57", 4) + int32Bytes(0) + int32Bytes(count); }

std::string recordBytes(int32_t kind, const std::string& path) {
  return int32Bytes(kind) + int32Bytes(static_cast<int32_t>(path.size())) + path;
}

std::string dataFile(const std::vector<Entry>& entries) {
  std::string bytes = header(static_cast<int32_t>(entries.size()));
  for (const Entry& entry : entries) bytes += recordBytes(entry.kind, entry.path);
  return bytes;
}

std::string hostBytes(const std::string& windowsPath) {
  std::ifstream in(sim::hostPath(windowsPath), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Entry> entriesOf(const UninstallList& list) {
  std::vector<Entry> entries;
  for (const PtrListNode<UninstallRecord>* node = list.records().head(); node != nullptr; node = node->next)
    entries.push_back(Entry{node->item->kind, node->item->path});
  return entries;
}

std::string describe(const std::vector<Entry>& entries) {
  std::string text;
  for (const Entry& entry : entries) text += (entry.kind == kUninstallFolder ? "folder " : "file ") + entry.path + "; ";
  return text;
}

bool isEmpty(const UninstallList& list) { return list.records().head() == nullptr && list.records().tail() == nullptr; }

}  // namespace

class UninstallListTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_TRUE(CreateDirectoryA("C:\\Target", nullptr));
  }

  void add(const char* path, int32_t kind) { ASSERT_TRUE(list.addRecord(path, kind)) << path; }

  UninstallList list;
};

using UninstallListDeathTest = UninstallListTest;

TEST_F(UninstallListTest, AnEmptyListIsTheTwelveByteHeader) {
  ASSERT_TRUE(list.saveTo(kDataFile));
  EXPECT_EQ(hostBytes(kDataFile), std::string("\xE0\xAA\x49\x57\0\0\0\0\0\0\0\0", 12));
}

TEST_F(UninstallListTest, OneFileRecordIsHeaderKindLengthAndThePathWithoutTerminator) {
  add("C:\\A\\B.TXT", kUninstallFile);
  ASSERT_TRUE(list.saveTo(kDataFile));
  std::string expected("\xE0\xAA\x49\x57\0\0\0\0\x01\0\0\0"
                       "\0\0\0\0\x0A\0\0\0"
                       "C:\\A\\B.TXT",
                       30);
  EXPECT_EQ(hostBytes(kDataFile), expected);
}

TEST_F(UninstallListTest, RecordsKeepTheirOrderAndEqualPathsOfOneKindAreAddedOnce) {
  add("c:\\x\\A.TXT", kUninstallFile);
  add("C:\\X\\a.txt", kUninstallFile);  // same file, other case: nothing added
  add("C:\\X", kUninstallFile);
  add("C:\\X", kUninstallFolder);  // other kind: a record of its own
  add("c:\\X", kUninstallFolder);
  // Only A to Z fold: the code page's own letters are different paths.
  add("C:\\X\\\xC9t\xE9", kUninstallFile);
  add("C:\\X\\\xE9t\xE9", kUninstallFile);
  // Separators are part of the text here: the program builds each path one way.
  add("C:\\X/a.txt", kUninstallFile);

  std::vector<Entry> expected = {{kUninstallFile, "c:\\x\\A.TXT"},       {kUninstallFile, "C:\\X"},
                                 {kUninstallFolder, "C:\\X"},            {kUninstallFile, "C:\\X\\\xC9t\xE9"},
                                 {kUninstallFile, "C:\\X\\\xE9t\xE9"}, {kUninstallFile, "C:\\X/a.txt"}};
  EXPECT_EQ(describe(entriesOf(list)), describe(expected));

  // Thousands of records: the same again in the other case still finds its
  // first record, across every growth of the lookup.
  for (int i = 0; i < 3000; ++i) add(("C:\\Many\\f" + std::to_string(i) + ".txt").c_str(), kUninstallFile);
  UninstallList taken;
  for (int i = 0; i < 3000; ++i)
    ASSERT_TRUE(taken.addRecord(("C:\\MANY\\F" + std::to_string(i) + ".TXT").c_str(), kUninstallFile, false));
  for (int i = 0; i < 3000; ++i)
    ASSERT_TRUE(taken.addRecord(("c:\\many\\f" + std::to_string(i) + ".txt").c_str(), kUninstallFile, true));
  EXPECT_EQ(entriesOf(list).size(), expected.size() + 3000);
  EXPECT_EQ(entriesOf(taken).size(), 3000u);
  for (PtrListNode<UninstallRecord>* node = taken.records().head(); node != nullptr; node = node->next)
    EXPECT_EQ(node->item->madeByThisRun, 1) << node->item->path;
}

TEST_F(UninstallListTest, SavedListLoadsBackRecordForRecord) {
  std::string longest = "C:\\Target\\";
  while (longest.size() < 259) longest += 'n';
  add(kDataFile, kUninstallFile);
  add("C:\\Target\\Sub", kUninstallFolder);
  add("C:\\Target\\Sub\\file.bin", kUninstallFile);
  add(longest.c_str(), kUninstallFile);
  std::vector<Entry> saved = entriesOf(list);
  ASSERT_TRUE(list.saveTo(kDataFile));

  UninstallList loaded;
  loaded.addRecord("C:\\Target\\stale", kUninstallFile);
  ASSERT_TRUE(loaded.loadFrom(kDataFile));
  EXPECT_EQ(describe(entriesOf(loaded)), describe(saved)) << "loading replaces what the list held";
  EXPECT_EQ(sim::openFileCount(), 0);
}

TEST_F(UninstallListTest, LoadingTakesRecordsAsTheyStandAndIgnoresTrailingBytes) {
  std::string bytes = dataFile({{kUninstallFile, "C:\\Target\\a"}, {kUninstallFile, "C:\\TARGET\\A"},
                                {kUninstallFile, "C:\\Target\\a"}});
  // The count says two: the third record and anything after it are not read.
  bytes.replace(8, 4, int32Bytes(2));
  bytes += "garbage";
  ASSERT_TRUE(sim::writeFile(kDataFile, bytes));
  ASSERT_TRUE(list.loadFrom(kDataFile));
  std::vector<Entry> expected = {{kUninstallFile, "C:\\Target\\a"}, {kUninstallFile, "C:\\TARGET\\A"}};
  EXPECT_EQ(describe(entriesOf(list)), describe(expected));
}

TEST_F(UninstallListTest, ANegativeCountIsAnEmptyList) {
  ASSERT_TRUE(sim::writeFile(kDataFile, header(-1) + recordBytes(kUninstallFile, "C:\\Target\\a")));
  add("C:\\Target\\before", kUninstallFile);
  EXPECT_TRUE(list.loadFrom(kDataFile));
  EXPECT_TRUE(isEmpty(list));
}

TEST_F(UninstallListTest, AnyFaultOfTheDataFileLeavesTheListEmpty) {
  const std::string good = recordBytes(kUninstallFile, "C:\\Target\\good");
  const std::string path259 = "C:\\Target\\" + std::string(249, 'x');
  const struct {
    const char* fault;
    std::string bytes;
  } cases[] = {
      {"wrong magic", std::string("\xE0\xAA\x49\x58", 4) + int32Bytes(0) + int32Bytes(1) + good},
      {"wrong version", std::string("\xE0\xAA\x49\x57", 4) + int32Bytes(1) + int32Bytes(1) + good},
      {"kind 2", header(2) + good + recordBytes(2, "C:\\Target\\x")},
      {"kind -1", header(1) + recordBytes(-1, "C:\\Target\\x")},
      {"length 0", header(2) + good + int32Bytes(0) + int32Bytes(0)},
      {"length 260", header(2) + good + int32Bytes(0) + int32Bytes(260) + path259 + "x"},
      {"negative length", header(1) + int32Bytes(0) + int32Bytes(-5) + "C:\\Target\\x"},
      {"path cut short", header(2) + good + int32Bytes(0) + int32Bytes(20) + "C:\\Target\\x"},
      {"record missing", header(3) + good + good},
      {"count cut short", std::string("\xE0\xAA\x49\x57", 4) + int32Bytes(0) + "\x01\0"},
      {"empty file", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    ASSERT_TRUE(sim::writeFile(kDataFile, c.bytes));
    int emptyListBlocks = sim::liveHeapBlocks();
    add("C:\\Target\\before", kUninstallFile);
    EXPECT_FALSE(list.loadFrom(kDataFile));
    EXPECT_TRUE(isEmpty(list));
    EXPECT_EQ(sim::liveHeapBlocks(), emptyListBlocks) << "records read before the fault are freed";
    EXPECT_EQ(sim::openFileCount(), 0) << "the data file is closed";
  }
  ASSERT_TRUE(DeleteFileA(kDataFile));
  add("C:\\Target\\before", kUninstallFile);
  EXPECT_FALSE(list.loadFrom(kDataFile)) << "no data file";
  EXPECT_TRUE(isEmpty(list));
}

TEST_F(UninstallListTest, LoadingForRemovalKeepsTheRecordsADamagedFileStillShows) {
  const std::string first = recordBytes(kUninstallFile, "C:\\Target\\first");
  const std::string last = recordBytes(kUninstallFolder, "C:\\Target\\last");
  const struct {
    const char* fault;
    std::string bytes;
    std::vector<Entry> kept;
  } cases[] = {
      {"a record of an unknown kind is passed over", header(3) + first + recordBytes(7, "C:\\Target\\x") + last,
       {{kUninstallFile, "C:\\Target\\first"}, {kUninstallFolder, "C:\\Target\\last"}}},
      {"a length out of range ends the reading", header(3) + first + int32Bytes(0) + int32Bytes(0) + last,
       {{kUninstallFile, "C:\\Target\\first"}}},
      {"a file cut short ends the reading", header(3) + first + last.substr(0, 12),
       {{kUninstallFile, "C:\\Target\\first"}}},
      {"a count beyond the records", header(5) + first + last,
       {{kUninstallFile, "C:\\Target\\first"}, {kUninstallFolder, "C:\\Target\\last"}}},
      {"records outside the folder are dropped", header(2) + recordBytes(kUninstallFile, "C:\\Windows\\x") + last,
       {{kUninstallFolder, "C:\\Target\\last"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    ASSERT_TRUE(sim::writeFile(kDataFile, c.bytes));
    EXPECT_TRUE(list.loadForRemoval(kDataFile));
    EXPECT_EQ(describe(entriesOf(list)), describe(c.kept));
    EXPECT_EQ(sim::openFileCount(), 0) << "the data file is closed";
  }
  for (const std::string& bytes : {std::string("\xE0\xAA\x49\x58", 4) + int32Bytes(0) + int32Bytes(1) + first,
                                   std::string("\xE0\xAA\x49\x57", 4) + int32Bytes(1) + int32Bytes(1) + first,
                                   std::string("\xE0\xAA\x49\x57", 4) + int32Bytes(0)}) {
    ASSERT_TRUE(sim::writeFile(kDataFile, bytes));
    add("C:\\Target\\before", kUninstallFile);
    EXPECT_FALSE(list.loadForRemoval(kDataFile)) << "a header that is not the data file's";
    EXPECT_TRUE(isEmpty(list));
  }
  ASSERT_TRUE(DeleteFileA(kDataFile));
  EXPECT_FALSE(list.loadForRemoval(kDataFile));
}

TEST_F(UninstallListTest, RecordsOutsideTheDataFilesFolderAreDroppedWhileLoading) {
  ASSERT_TRUE(CreateDirectoryA("C:\\Target2", nullptr));
  ASSERT_TRUE(sim::folderExists("C:\\Windows")) << "a fresh machine has its Windows folder";
  ASSERT_TRUE(CreateDirectoryA("C:\\Target\\Sub", nullptr));
  ASSERT_TRUE(sim::writeFile("C:\\Target2\\x", "other program"));
  ASSERT_TRUE(sim::writeFile("C:\\Windows\\system.ini", "[drivers]"));
  ASSERT_TRUE(sim::writeFile("C:\\Target\\Sub\\mine.txt", "ours"));
  ASSERT_TRUE(sim::writeFile(kDataFile, dataFile({
                                            {kUninstallFolder, "C:\\Target\\Sub"},
                                            {kUninstallFile, "C:\\Target2\\x"},
                                            {kUninstallFile, "C:\\Windows\\system.ini"},
                                            {kUninstallFile, "C:\\Target\\..\\Windows\\system.ini"},
                                            {kUninstallFile, "C:\\Target\\Sub\\...\\..\\x"},
                                            {kUninstallFolder, "C:\\Target"},
                                            {kUninstallFolder, "C:\\Target\\"},
                                            {kUninstallFolder, "C:\\"},
                                            {kUninstallFile, "_vmunins.dat"},
                                            {kUninstallFile, "\\\\server\\Target\\x"},
                                            {kUninstallFile, "D:\\Target\\x"},
                                            {kUninstallFile, "c:/TARGET//Sub/mine.txt"},
                                        })));
  ASSERT_TRUE(list.loadFrom(kDataFile));
  // The ".." after a level of three dots, which is a name, leads back inside.
  std::vector<Entry> expected = {{kUninstallFolder, "C:\\Target\\Sub"},
                                 {kUninstallFile, "C:\\Target\\Sub\\x"},
                                 {kUninstallFile, "c:/TARGET//Sub/mine.txt"}};
  EXPECT_EQ(describe(entriesOf(list)), describe(expected));

  // Taken over from an earlier installation: a roll-back leaves them too.
  EXPECT_TRUE(list.rollBack("C:\\Target"));
  EXPECT_TRUE(sim::folderExists("C:\\Target\\Sub"));
  EXPECT_TRUE(sim::fileExists("C:\\Target\\Sub\\mine.txt"));
  EXPECT_TRUE(sim::fileExists("C:\\Target2\\x"));
  EXPECT_TRUE(sim::fileExists("C:\\Windows\\system.ini"));
  EXPECT_TRUE(sim::folderExists("C:\\Target"));
}

TEST_F(UninstallListTest, ADataFileInADriveRootKeepsThatDrivesRecords) {
  ASSERT_TRUE(sim::writeFile("C:\\_vmunins.dat", dataFile({{kUninstallFolder, "C:\\Target"},
                                                            {kUninstallFile, "D:\\x"}})));
  ASSERT_TRUE(list.loadFrom("C:\\_vmunins.dat"));
  std::vector<Entry> expected = {{kUninstallFolder, "C:\\Target"}};
  EXPECT_EQ(describe(entriesOf(list)), describe(expected));
}

TEST_F(UninstallListTest, RollBackDeletesFilesBeforeTheirFoldersNewestFirst) {
  ASSERT_TRUE(CreateDirectoryA("C:\\Target\\D", nullptr));
  ASSERT_TRUE(CreateDirectoryA("C:\\Target\\D\\E", nullptr));
  ASSERT_TRUE(sim::writeFile("C:\\Target\\D\\f1", "1"));
  ASSERT_TRUE(sim::writeFile("C:\\Target\\D\\E\\f2", "2"));
  add("C:\\Target\\D", kUninstallFolder);
  add("C:\\Target\\D\\E", kUninstallFolder);
  add("C:\\Target\\D\\f1", kUninstallFile);
  add("C:\\Target\\D\\E\\f2", kUninstallFile);
  add("C:\\Target\\D\\gone", kUninstallFile);  // already deleted: the walk goes on

  EXPECT_TRUE(list.rollBack("C:\\Target"));
  EXPECT_TRUE(isEmpty(list));
  EXPECT_FALSE(sim::folderExists("C:\\Target\\D"));
  EXPECT_TRUE(sim::folderExists("C:\\Target")) << "the target folder is never recorded";
}

TEST_F(UninstallListTest, RollBackLeavesFoldersThatStillHoldSomethingAndFilesInUse) {
  ASSERT_TRUE(CreateDirectoryA("C:\\Target\\Kept", nullptr));
  ASSERT_TRUE(CreateDirectoryA("C:\\Target\\Locked", nullptr));
  ASSERT_TRUE(CreateDirectoryA("C:\\Target\\Gone", nullptr));
  ASSERT_TRUE(sim::writeFile("C:\\Target\\Kept\\user.txt", "not recorded"));
  ASSERT_TRUE(sim::writeFile("C:\\Target\\Kept\\ours.txt", "recorded"));
  ASSERT_TRUE(sim::writeFile("C:\\Target\\Locked\\inuse.dll", "held open"));
  ASSERT_TRUE(sim::writeFile("C:\\Target\\Gone\\ours.txt", "recorded"));
  sim::lockFile("C:\\Target\\Locked\\inuse.dll");
  add("C:\\Target\\Kept", kUninstallFolder);
  add("C:\\Target\\Locked", kUninstallFolder);
  add("C:\\Target\\Gone", kUninstallFolder);
  add("C:\\Target\\Kept\\ours.txt", kUninstallFile);
  add("C:\\Target\\Locked\\inuse.dll", kUninstallFile);
  add("C:\\Target\\Gone\\ours.txt", kUninstallFile);

  EXPECT_TRUE(list.rollBack("C:\\Target"));
  EXPECT_TRUE(isEmpty(list));
  EXPECT_TRUE(sim::fileExists("C:\\Target\\Kept\\user.txt"));
  EXPECT_FALSE(sim::fileExists("C:\\Target\\Kept\\ours.txt"));
  EXPECT_TRUE(sim::fileExists("C:\\Target\\Locked\\inuse.dll"));
  EXPECT_FALSE(sim::folderExists("C:\\Target\\Gone")) << "a folder after one that stayed is still tried";
}

TEST_F(UninstallListTest, RollBackNeverDeletesThroughAJunctionPlantedSinceButMayRemoveTheJunction) {
  ASSERT_TRUE(CreateDirectoryA("C:\\Elsewhere", nullptr));
  ASSERT_TRUE(sim::writeFile("C:\\Elsewhere\\f.dll", "someone else's"));
  add("C:\\Target\\A", kUninstallFolder);
  add("C:\\Target\\A\\f.dll", kUninstallFile);
  // The folder the run made is swapped for a junction before the roll-back.
  ASSERT_TRUE(sim::makeReparsePoint("C:\\Target\\A", "C:\\Elsewhere"));
  EXPECT_TRUE(list.rollBack("C:\\Target"));
  EXPECT_TRUE(sim::fileExists("C:\\Elsewhere\\f.dll"));
  EXPECT_FALSE(sim::folderExists("C:\\Target\\A"));
}

TEST_F(UninstallListTest, SavingFailsWhenTheFileCannotBeWrittenOrTheDiskFills) {
  add("C:\\A\\B.TXT", kUninstallFile);
  EXPECT_FALSE(list.saveTo("C:\\Missing\\_vmunins.dat"));

  ASSERT_TRUE(sim::writeFile(kDataFile, "old"));
  sim::lockFile(kDataFile);
  EXPECT_FALSE(list.saveTo(kDataFile));
  EXPECT_EQ(hostBytes(kDataFile), "old");
  sim::unlockFile(kDataFile);
  ASSERT_TRUE(DeleteFileA(kDataFile));

  // Every write fits the stream's buffer; the disk is found full only when
  // the buffer goes out, and that must not pass for success.
  sim::setFreeBytes('C', 29);
  EXPECT_FALSE(list.saveTo(kDataFile));
  EXPECT_TRUE(sim::fileExists(kDataFile)) << "a partly written file is left in place";
  EXPECT_EQ(sim::openFileCount(), 0);

  ASSERT_TRUE(DeleteFileA(kDataFile));
  sim::setFreeBytes('C', 30);
  EXPECT_TRUE(list.saveTo(kDataFile));
  EXPECT_EQ(hostBytes(kDataFile).size(), 30u);
}

TEST_F(UninstallListTest, RunningOutOfMemoryAddsNothingAndLoadsNothing) {
  add("C:\\Target\\first", kUninstallFile);
  ASSERT_TRUE(list.saveTo(kDataFile));
  int blocks = sim::liveHeapBlocks();
  sim::setHeapLimit(0);
  EXPECT_FALSE(list.addRecord("C:\\Target\\second", kUninstallFile));
  EXPECT_EQ(sim::liveHeapBlocks(), blocks);
  // The record itself fits, its path does not: the record is given back.
  sim::setHeapLimit(sizeof(UninstallRecord) + 8);
  EXPECT_FALSE(list.addRecord("C:\\Target\\a path longer than the limit", kUninstallFile));
  EXPECT_EQ(sim::liveHeapBlocks(), blocks);
  EXPECT_EQ(entriesOf(list).size(), 1u);

  sim::setHeapLimit(0);
  EXPECT_FALSE(list.loadFrom(kDataFile));
  EXPECT_TRUE(isEmpty(list));
  EXPECT_EQ(sim::openFileCount(), 0);
}

TEST_F(UninstallListDeathTest, APathNoRecordCanHoldIsAnInternalError) {
  std::string tooLong = "C:\\" + std::string(257, 'x');
  EXPECT_EXIT(list.addRecord("", kUninstallFile), ::testing::ExitedWithCode(1), kInternalError);
  EXPECT_EXIT(list.addRecord(tooLong.c_str(), kUninstallFile), ::testing::ExitedWithCode(1), kInternalError);
  EXPECT_EXIT(list.addRecord("C:\\x", 2), ::testing::ExitedWithCode(1), kInternalError);
}

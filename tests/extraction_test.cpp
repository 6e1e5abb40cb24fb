// The extraction engine on packer-made entries: files and folders with their
// content and times, what goes into the uninstall list and in which order,
// the four results, a locked file, a full disk, the user's cancel inside and
// between files, damaged catalogues and data, and the licence in memory.
#include <string>
#include <vector>

#include "installing_fixture.h"
#include "payload/checksum.h"
#include "vmpack/entry_builder.h"

namespace {

const char kTarget[] = "C:\\Target";
// 2001-02-03 04:05:06 UTC as a FILETIME.
const uint64_t kStoredTime = 126253227060000000ull;

std::string bytesOf(size_t count, char seed) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text.push_back(static_cast<char>(seed + (i * 7 + i / 13) % 23));
  return text;
}

std::string inTarget(const std::string& name) { return std::string(kTarget) + "\\" + name; }

// The catalogue bytes of an entry changed in place: every occurrence of
// `from` becomes `to` (of the same length). Extraction does not check the
// entry's checksum (the start-up check does), so nothing else needs fixing.
std::vector<uint8_t> withBytesReplaced(std::vector<uint8_t> entry, const std::string& from, const std::string& to) {
  EXPECT_EQ(from.size(), to.size());
  std::string text(entry.begin(), entry.end());
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  for (; at != std::string::npos; at = text.find(from, at + 1)) {
    for (size_t i = 0; i < to.size(); ++i) entry[at + i] = static_cast<uint8_t>(to[i]);
  }
  return entry;
}

// Offset of the size field of the file record named `name`.
size_t sizeFieldOf(const std::vector<uint8_t>& entry, const std::string& name) {
  std::string text(entry.begin(), entry.end());
  size_t at = text.find(name);
  EXPECT_NE(at, std::string::npos);
  return at - kFileRecordFixedBytes;
}

void storeUint32(std::vector<uint8_t>& entry, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) entry[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

class ExtractionTest : public InstallingTest {
 protected:
  void SetUp() override {
    InstallingTest::SetUp();
    setTargetFolder(kTarget);
    ASSERT_TRUE(CreateDirectoryA(kTarget, nullptr));
  }
};

using ExtractionDeathTest = ExtractionTest;

}  // namespace

TEST_F(ExtractionTest, FilesAndFoldersLandWithTheirContentAndStoredTimes) {
  std::string program = bytesOf(700, 'a');
  installEntry(100, makeEntry({"Help", "Help\\Deep"},
                              {{"vm.exe", program}, {"Help\\vm.hlp", "help text"}, {"Help\\Deep\\x.bin", "x"}},
                              kStoredTime));
  ASSERT_EQ(extractEntry(100, nullptr), kExtractDone);

  EXPECT_TRUE(sim::folderExists(inTarget("Help\\Deep")));
  EXPECT_EQ(contentOf(inTarget("vm.exe")), program);
  EXPECT_EQ(contentOf(inTarget("Help\\vm.hlp")), "help text");
  EXPECT_EQ(contentOf(inTarget("Help\\Deep\\x.bin")), "x");
  for (const char* name : {"vm.exe", "Help\\vm.hlp", "Help\\Deep\\x.bin"}) {
    EXPECT_EQ(sim::fileCreationTime(inTarget(name)), kStoredTime) << name;
    EXPECT_EQ(sim::fileWriteTime(inTarget(name)), kStoredTime) << name;
  }
  // Folders in catalogue order, then files as they were completed.
  EXPECT_EQ(recordsOf(uninstallList),
            (std::vector<RecordSeen>{folder(inTarget("Help")), folder(inTarget("Help\\Deep")),
                                     file(inTarget("vm.exe")), file(inTarget("Help\\vm.hlp")),
                                     file(inTarget("Help\\Deep\\x.bin"))}));
  EXPECT_EQ(bytesWritten, 700 + 9 + 1);
  EXPECT_EQ(writeFailed, 0);
  ASSERT_EQ(fileRecords.count(), 3);
  EXPECT_STREQ(fileRecords[1].path, "C:\\Target\\Help\\vm.hlp");
  EXPECT_TRUE(messages().empty());
}

// A file and its folder are named as it begins, the first of each
// extraction always, a later one when 50 ms have passed since a name was
// shown; the texts are cleared once the extraction is done.
TEST_F(ExtractionTest, TheInstallingDialogNamesTheFilesAsFastAsTheEyeFollows) {
  installEntry(100, makeEntry({"Help"}, {{"vm.exe", "program"}, {"Help\\vm.hlp", "help"}, {"a.txt", "a"}}));
  struct Case {
    DWORD millisecondsPerReading;
    std::vector<std::string> files;
    std::vector<std::string> folders;
  };
  const std::vector<Case> cases = {
      {50, {"Copying vm.exe", "Copying vm.hlp", "Copying a.txt", ""},
       {"to C:\\Target\\", "to C:\\Target\\Help\\", "to C:\\Target\\", ""}},
      {30, {"Copying vm.exe", "Copying a.txt", ""}, {"to C:\\Target\\", "to C:\\Target\\", ""}},
      {0, {"Copying vm.exe", ""}, {"to C:\\Target\\", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.millisecondsPerReading);
    InstallingStandIn::log() = InstallingStandIn();
    sim::setClockStepPerReading(c.millisecondsPerReading);
    ASSERT_EQ(extractEntry(100, nullptr), kExtractDone);
    EXPECT_EQ(InstallingStandIn::log().copyingTexts, c.files);
    EXPECT_EQ(InstallingStandIn::log().targetTexts, c.folders);
  }
}

TEST_F(ExtractionTest, ExtractingTwiceOverwritesAndRecordsNothingTwiceWhateverTheCase) {
  installEntry(100, makeEntry({"Help"}, {{"vm.exe", "first"}, {"Help\\vm.hlp", "help"}}));
  ASSERT_EQ(extractEntry(100, nullptr), kExtractDone);
  std::vector<RecordSeen> first = recordsOf(uninstallList);

  installEntry(100, makeEntry({"HELP"}, {{"VM.EXE", "second"}, {"help\\VM.hlp", "help 2"}}));
  setTargetFolder("c:\\TARGET");
  ASSERT_EQ(extractEntry(100, nullptr), kExtractDone);
  EXPECT_EQ(contentOf(inTarget("vm.exe")), "second");
  EXPECT_EQ(contentOf(inTarget("Help\\vm.hlp")), "help 2");
  EXPECT_EQ(recordsOf(uninstallList), first);
}

TEST_F(ExtractionTest, WithoutRecordingFilesAreWrittenAndOnlyTheFoldersGoIntoTheList) {
  installEntry(1000, makeEntry({"Uninstall"}, {{"_vmunins.exe", "uninstaller"}, {"Uninstall\\a.dat", "a"}}));
  recordWrittenFiles = 0;
  ASSERT_EQ(extractEntry(1000, nullptr), kExtractDone);
  EXPECT_EQ(contentOf(inTarget("_vmunins.exe")), "uninstaller");
  EXPECT_EQ(recordsOf(uninstallList), (std::vector<RecordSeen>{folder(inTarget("Uninstall"))}));
  // Kept for a roll-back only.
  EXPECT_EQ(recordsOf(unrecordedFiles),
            (std::vector<RecordSeen>{file(inTarget("_vmunins.exe")), file(inTarget("Uninstall\\a.dat"))}));
}

TEST_F(ExtractionTest, AFolderOnlyEntryCreatesAndRecordsItsFolder) {
  installEntry(103, makeEntry({"Work"}, {}));
  writeFailed = 1;  // left from an earlier extraction
  ASSERT_EQ(extractEntry(103, nullptr), kExtractDone);
  EXPECT_TRUE(sim::folderExists(inTarget("Work")));
  EXPECT_EQ(recordsOf(uninstallList), (std::vector<RecordSeen>{folder(inTarget("Work"))}));
  EXPECT_EQ(writeFailed, 0);
  EXPECT_EQ(bytesWritten, 0);
}

TEST_F(ExtractionTest, AFolderThatCannotBeMadeIsNeverListedAndIsReportedByTheFirstThingItLacks) {
  // A file inside it fails on its own and is the one named.
  installEntry(102, makeEntry({"Bin"}, {{"Bin\\dsp.dll", "dsp"}}));
  sim::failCall(sim::Fault::folderCreate);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(extractEntry(102, nullptr), kExtractStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to write " + inTarget("Bin\\dsp.dll")}));
  EXPECT_TRUE(recordsOf(uninstallList).empty());

  // A folder no file needs is named itself, once the rest of the entry is in
  // place and listed.
  installEntry(103, makeEntry({"Work", "Docs"}, {{"Docs\\a.txt", "a"}}));
  sim::failCall(sim::Fault::folderCreate);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(extractEntry(103, nullptr), kExtractStopped);
  EXPECT_EQ(messages().back(), "Failed to write " + inTarget("Work"));
  EXPECT_EQ(writeFailed, 1);
  EXPECT_EQ(recordsOf(uninstallList), (std::vector<RecordSeen>{folder(inTarget("Docs")), file(inTarget("Docs\\a.txt"))}));
}

TEST_F(ExtractionTest, ANameBeyondThePathLimitGives3AndWritesNoFileOfTheEntry) {
  // "Sub\" and 255 more characters: 259, the longest name an entry holds;
  // under C:\Target the path would be 269 characters long.
  std::string longName = "Sub\\" + std::string(255, 'n');
  installEntry(100, makeEntry({"Sub"}, {{"first.txt", "first"}, {longName, "long"}}));
  EXPECT_EQ(extractEntry(100, nullptr), kExtractPathTooLong);
  EXPECT_FALSE(sim::fileExists(inTarget("first.txt")));
  // The folder made before the failing record stays, recorded for the roll-back.
  EXPECT_TRUE(sim::folderExists(inTarget("Sub")));
  EXPECT_EQ(recordsOf(uninstallList), (std::vector<RecordSeen>{folder(inTarget("Sub"))}));
  EXPECT_EQ(fileRecords.count(), 0);

  // A folder too long for the path stops the entry the same way.
  installEntry(101, makeEntry({"Sub", longName}, {{"second.txt", "second"}}));
  EXPECT_EQ(extractEntry(101, nullptr), kExtractPathTooLong);
  EXPECT_FALSE(sim::fileExists(inTarget("second.txt")));
}

TEST_F(ExtractionTest, ANameThatCouldReachOutsideTheTargetMakesTheEntryCorruptBeforeAnythingIsWritten) {
  ASSERT_TRUE(sim::writeFile("C:\\evil.txt", "the user's own file"));
  std::vector<uint8_t> model = makeEntry({"Good", "xx"}, {{"good.txt", "good"}, {"xx\\evil.txt", "evil"}});
  // Folder names and file names alike; a level of dots and spaces only is
  // what Windows resolves to the folder itself or its parent.
  const std::vector<std::pair<std::string, std::string>> damages = {
      {"xx\\evil.txt", "..\\evil.txt"}, {"xx\\evil.txt", ". \\evil.txt"}, {"xx\\evil.txt", "C:\\evil.txt"},
      {"xx\\evil.txt", "C:evil.txtx"},  {"xx\\evil.txt", "\\x\\evil.txt"}, {"xx\\evil.txt", "/xxevil.txt"},
      {"xx\\evil.txt", "xx\\..\\..\\ev"}, {"good.txt", "...\\good"}};
  for (const auto& damage : damages) {
    installEntry(100, withBytesReplaced(model, damage.first, damage.second));
    EXPECT_EQ(extractEntry(100, nullptr), kExtractCorrupt) << damage.second;
  }
  // A folder record: "xx" -> "..", listed after a sound folder.
  std::vector<uint8_t> entry = model;
  std::string text(entry.begin(), entry.end());
  size_t folderName = text.find("xx");
  entry[folderName] = '.';
  entry[folderName + 1] = '.';
  installEntry(100, entry);
  EXPECT_EQ(extractEntry(100, nullptr), kExtractCorrupt);

  EXPECT_FALSE(sim::folderExists(inTarget("Good")));
  EXPECT_FALSE(sim::fileExists(inTarget("good.txt")));
  EXPECT_EQ(contentOf("C:\\evil.txt"), "the user's own file");
  EXPECT_TRUE(recordsOf(uninstallList).empty());
  EXPECT_TRUE(messages().empty());
}

TEST_F(ExtractionTest, AnAbsentOrCutShortEntryIsCorrupt) {
  EXPECT_EQ(extractEntry(100, nullptr), kExtractCorrupt);
  std::vector<uint8_t> entry = makeEntry({"Work"}, {{"a.txt", "content"}});
  // The catalogue ends inside the file record's name.
  std::string text(entry.begin(), entry.end());
  entry.resize(text.find("a.txt") + 2);
  storeUint32(entry, kTotalSizeOffset, static_cast<uint32_t>(entry.size()));
  installEntry(100, entry);
  EXPECT_EQ(extractEntry(100, nullptr), kExtractCorrupt);
  EXPECT_FALSE(sim::folderExists(inTarget("Work")));
}

TEST_F(ExtractionTest, DataThatDoesNotFitTheCatalogueIsCorruptNotAWriteFailure) {
  std::string content = bytesOf(300, 'c');
  std::vector<uint8_t> model = makeEntry({}, {{"a.txt", "first"}, {"b.txt", content}});
  size_t sizeField = sizeFieldOf(model, "b.txt");

  // The catalogue asks one byte more than the data holds.
  std::vector<uint8_t> tooLittle = model;
  storeUint32(tooLittle, sizeField, 301);
  installEntry(100, tooLittle);
  EXPECT_EQ(extractEntry(100, nullptr), kExtractCorrupt);
  // The cut-short file is recorded, so that a roll-back removes it.
  EXPECT_EQ(recordsOf(uninstallList), (std::vector<RecordSeen>{file(inTarget("a.txt")), file(inTarget("b.txt"))}));

  // The data holds one byte more than the catalogue lists; the file itself
  // checks out.
  std::vector<uint8_t> tooMuch = model;
  storeUint32(tooMuch, sizeField, 299);
  storeUint32(tooMuch, sizeField + 4,
              payloadChecksum(reinterpret_cast<const uint8_t*>(content.data()), 299));
  installEntry(101, tooMuch);
  EXPECT_EQ(extractEntry(101, nullptr), kExtractCorrupt);

  // A file whose content fails its check is one the program could not
  // write as it should be.
  std::vector<uint8_t> badCrc = model;
  badCrc[sizeField + 4] ^= 1;
  installEntry(102, badCrc);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(extractEntry(102, nullptr), kExtractStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to write C:\\Target\\b.txt"}));
}

TEST_F(ExtractionTest, ALockedFileIsReportedOnceAndTheFilesBeforeItAreRecorded) {
  installEntry(100, makeEntry({}, {{"a.txt", bytesOf(200, 'a')}, {"b.txt", "new b"}, {"c.txt", bytesOf(900, 'c')}}));
  ASSERT_TRUE(sim::writeFile(inTarget("b.txt"), "in use"));
  sim::lockFile(inTarget("b.txt"));
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(extractEntry(100, nullptr), kExtractStopped);

  ASSERT_EQ(sim::messageBoxes().size(), 1u);
  const sim::MessageBoxRecord& box = sim::messageBoxes()[0];
  EXPECT_EQ(box.text, "Failed to write C:\\Target\\b.txt");
  EXPECT_EQ(box.owner, dialog_);
  EXPECT_EQ(box.caption, kCaption);
  EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK));
  EXPECT_EQ(writeFailed, 1);
  EXPECT_EQ(contentOf(inTarget("b.txt")), "in use");
  EXPECT_FALSE(sim::fileExists(inTarget("c.txt")));
  EXPECT_EQ(recordsOf(uninstallList), (std::vector<RecordSeen>{file(inTarget("a.txt"))}));
  EXPECT_EQ(fileRecords.count(), 0);
}

TEST_F(ExtractionTest, AFolderWhereAFileMustGoStaysWhereItIsAndTheFileIsAWriteFailure) {
  installEntry(100, makeEntry({}, {{"a.txt", "a"}}));
  ASSERT_TRUE(CreateDirectoryA(inTarget("a.txt").c_str(), nullptr));
  ASSERT_TRUE(sim::writeFile(inTarget("a.txt\\inside.txt"), "kept"));
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(extractEntry(100, nullptr), kExtractStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to write C:\\Target\\a.txt"}));
  EXPECT_EQ(contentOf(inTarget("a.txt\\inside.txt")), "kept");
  EXPECT_FALSE(sim::fileExists(inTarget("_vmkept.lst")));
}

TEST_F(ExtractionTest, AFullDiskThatShowsOnlyWhenTheFileIsClosedIsAWriteFailure) {
  // Small files sit in the stream's buffer until the close writes them.
  installEntry(100, makeEntry({}, {{"a.txt", bytesOf(100, 'a')}, {"b.txt", bytesOf(100, 'b')},
                                   {"c.txt", bytesOf(100, 'c')}}));
  sim::setFreeBytes('C', 199);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(extractEntry(100, nullptr), kExtractStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to write C:\\Target\\b.txt"}));
  // The file that did not fit exists (empty) and is recorded for the roll-back.
  EXPECT_EQ(recordsOf(uninstallList), (std::vector<RecordSeen>{file(inTarget("a.txt")), file(inTarget("b.txt"))}));
  EXPECT_FALSE(sim::fileExists(inTarget("c.txt")));
  uninstallList.rollBack(kTarget);
  EXPECT_FALSE(sim::fileExists(inTarget("a.txt")));
  EXPECT_FALSE(sim::fileExists(inTarget("b.txt")));
  EXPECT_EQ(sim::freeBytes('C'), 199u);
}

TEST_F(ExtractionTest, AFullDiskInTheMiddleOfALargeFileIsReportedOnceAndTheFileRecorded) {
  // Larger than a few of the blocks the sink writes at a time.
  std::string large = bytesOf(200000, 'l');
  installEntry(100, makeEntry({}, {{"large.bin", large}, {"after.txt", "after"}}));
  sim::setFreeBytes('C', 30000);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(extractEntry(100, nullptr), kExtractStopped);
  EXPECT_EQ(messages(), (std::vector<std::string>{"Failed to write C:\\Target\\large.bin"}));
  EXPECT_EQ(recordsOf(uninstallList), (std::vector<RecordSeen>{file(inTarget("large.bin"))}));
  EXPECT_FALSE(sim::fileExists(inTarget("after.txt")));
  // The first block that did not fit stopped the decoder at the next
  // progress call, long before the end.
  EXPECT_LT(bytesWritten, 2 * 65536);
}

TEST_F(ExtractionTest, ACancelInsideAFileStopsSilentlyAndRecordsThePartialFile) {
  const std::string content(6000, 'a');
  installEntry(100, makeEntry({}, {{"a.txt", content}, {"b.txt", "b"}}));
  pressCancelAtPump(1);
  EXPECT_EQ(extractEntry(100, nullptr), kExtractStopped);
  EXPECT_EQ(InstallingStandIn::log().cancelQuestions, 1);
  EXPECT_TRUE(messages().empty());
  // The first progress call comes after the item that reaches the 4096th
  // byte, a match of at most 64.
  std::string partial = contentOf(inTarget("a.txt"));
  EXPECT_GE(partial.size(), 4096u);
  EXPECT_LT(partial.size(), 4096u + 64u);
  EXPECT_EQ(partial, content.substr(0, partial.size()));
  EXPECT_EQ(recordsOf(uninstallList), (std::vector<RecordSeen>{file(inTarget("a.txt"))}));
  EXPECT_FALSE(sim::fileExists(inTarget("b.txt")));
}

TEST_F(ExtractionTest, ACancelBetweenTwoFilesStillStopsAndOneWithTheLastByteDoesNot) {
  // The first progress call comes right after the 4096th byte: the last item
  // of a run of one byte value ends with it, as the next file's bytes differ.
  std::string first(4096, 'f');
  installEntry(100, makeEntry({}, {{"a.txt", first}, {"b.txt", std::string(300, 'b')}}, kStoredTime));
  pressCancelAtPump(1);
  EXPECT_EQ(extractEntry(100, nullptr), kExtractStopped);
  EXPECT_EQ(contentOf(inTarget("a.txt")), first);
  EXPECT_EQ(sim::fileWriteTime(inTarget("a.txt")), kStoredTime);
  EXPECT_EQ(recordsOf(uninstallList), (std::vector<RecordSeen>{file(inTarget("a.txt"))}));
  EXPECT_FALSE(sim::fileExists(inTarget("b.txt")));
  EXPECT_TRUE(messages().empty());

  cancelRequested = 0;
  installEntry(101, makeEntry({}, {{"only.txt", first}}));
  pressCancelAtPump(1);
  EXPECT_EQ(extractEntry(101, nullptr), kExtractDone);
  EXPECT_EQ(contentOf(inTarget("only.txt")), first);
}

TEST_F(ExtractionTest, NoToTheCancelQuestionLetsTheExtractionGoOn) {
  std::string content = bytesOf(3 * 4096 + 500, 'n');
  installEntry(100, makeEntry({}, {{"a.txt", content}}));
  pressCancelAtPump(3, IDNO);
  EXPECT_EQ(extractEntry(100, nullptr), kExtractDone);
  EXPECT_EQ(InstallingStandIn::log().cancelQuestions, 1);
  EXPECT_EQ(contentOf(inTarget("a.txt")), content);
}

TEST_F(ExtractionTest, TheLicenceComesBackInMemoryWithAZeroByteAndNothingOnDisk) {
  // A short licence, and a long one of repeated words, which the decoder
  // decodes into the block it comes back in, past the farthest distance,
  // and finishes in its own buffer.
  std::string words;
  for (uint32_t seed = 5; words.size() < 40000;) {
    seed = seed * 1103515245u + 12345u;
    words += std::string("clause licence party software warranty \r\n").substr((seed >> 16) % 6 * 7, 7);
  }
  for (const std::string& licence : {bytesOf(1200, 'L'), words}) {
    installEntry(1002, makeEntry({"Docs"}, {{"Velk Modular License.txt", licence.substr(0, 1000)},
                                            {"Docs\\more.txt", licence.substr(1000)}}));
    // A cancel confirmed on an earlier Installing page must not stop it.
    cancelRequested = 1;
    char* text = extractToMemory(1002, dialog_);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text, licence.size() + 1), licence + std::string(1, '\0'));
    freeBlock(text);
  }
  EXPECT_FALSE(sim::folderExists(inTarget("Docs")));
  EXPECT_TRUE(recordsOf(uninstallList).empty());
  EXPECT_EQ(bytesWritten, 0);
  EXPECT_TRUE(messages().empty());
}

TEST_F(ExtractionTest, TheLicenceReportsNoMemoryAndDamageToItsOwner) {
  HWND licencePage = reinterpret_cast<HWND>(0x5150);
  buildCrcTable();
  int heapBlocks = sim::liveHeapBlocks();
  // The decoder's window and trees fit under the limit; the text does not.
  installEntry(1002, makeEntry({}, {{"Velk Modular License.txt", bytesOf(50000, 'L')}}));
  sim::setHeapLimit(40000);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(extractToMemory(1002, licencePage), nullptr);
  sim::setHeapLimit(SIZE_MAX);

  sim::removeResource(kPayloadResourceType, 1002);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(extractToMemory(1002, licencePage), nullptr);

  std::vector<uint8_t> damaged = makeEntry({}, {{"Velk Modular License.txt", "licence"}});
  damaged[sizeFieldOf(damaged, "Velk Modular License.txt") + 4] ^= 1;
  installEntry(1002, damaged);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EQ(extractToMemory(1002, licencePage), nullptr);

  ASSERT_EQ(sim::messageBoxes().size(), 3u);
  EXPECT_EQ(sim::messageBoxes()[0].text, "Fatal: no memory");
  EXPECT_EQ(sim::messageBoxes()[1].text, "The setup file is corrupt");
  EXPECT_EQ(sim::messageBoxes()[2].text, "The setup file is corrupt");
  for (const sim::MessageBoxRecord& box : sim::messageBoxes()) {
    EXPECT_EQ(box.owner, licencePage);
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK));
  }
  EXPECT_EQ(sim::liveHeapBlocks(), heapBlocks);
}

TEST_F(ExtractionDeathTest, NoMemoryForTheFileTableOfASmallerEntryIsTheInternalError) {
  // Kept at its old length, the table would make the sink wait for a file
  // this entry does not have.
  installEntry(100, makeEntry({}, {{"a.txt", "a"}, {"b.txt", "b"}}));
  installEntry(101, makeEntry({}, {{"c.txt", "c"}}));
  ASSERT_EQ(extractEntry(100, nullptr), kExtractDone);
  auto shortOfMemory = [] {
    sim::failCall(sim::Fault::heapAlloc);
    sim::answerNextMessageBox(IDOK);
    extractEntry(101, nullptr);
  };
  EXPECT_EXIT(shortOfMemory(), ::testing::ExitedWithCode(1), "Internal error");
}

TEST_F(ExtractionDeathTest, ALicenceEntryWithoutAFileIsABrokenBuild) {
  installEntry(1002, makeEntry({"Docs"}, {}));
  EXPECT_EXIT(extractToMemory(1002, dialog_), ::testing::ExitedWithCode(1), "Internal error");
}

// Payload entries among the program's resources: what makes an entry absent,
// that every resource taken is given back, the checksum, and the catalogue
// walk that sums the file sizes.
#include <string>
#include <vector>

#include "payload/catalogue.h"
#include "payload/payload_entry.h"
#include "sim_fixture.h"
#include "vmpack/entry_builder.h"

using PayloadEntryTest = SimTest;

namespace {

const char kInternalError[] = "Internal error";

void install(int id, const std::vector<uint8_t>& bytes) { sim::addResource(kPayloadResourceType, id, bytes); }

std::vector<uint8_t> withUint32(std::vector<uint8_t> bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

}  // namespace

TEST_F(PayloadEntryTest, OpensAnEntryInPlaceAndGivesItBack) {
  std::vector<uint8_t> bytes = makeEntry({"Work"}, {{"readme.txt", "hello"}});
  install(101, bytes);
  PayloadEntry entry = openEntry(101);
  ASSERT_TRUE(entry.present());
  EXPECT_EQ(sim::loadedResourceCount(), 1);
  EXPECT_EQ(entry.bodySize(), static_cast<int32_t>(bytes.size()) - 8);
  EXPECT_EQ(memcmp(entry.body(), bytes.data() + 8, bytes.size() - 8), 0);
  EXPECT_TRUE(entry.verifyChecksum());
  entry.releaseEntry();
  EXPECT_FALSE(entry.present());
  EXPECT_EQ(sim::loadedResourceCount(), 0);
  entry.releaseEntry();  // an absent entry has nothing to give back
  EXPECT_EQ(sim::loadedResourceCount(), 0);
}

TEST_F(PayloadEntryTest, IsAbsentWhenTheResourceIsMissingOrCannotBeLoadedOrLocked) {
  EXPECT_FALSE(openEntry(100).present());
  install(100, makeEntry({"Work"}, {}));
  install(999, makeEntry({"Other"}, {}));
  EXPECT_FALSE(openEntry(101).present());
  sim::setResourceFailure(sim::ResourceFailure::load);
  EXPECT_FALSE(openEntry(100).present());
  sim::setResourceFailure(sim::ResourceFailure::lock);
  EXPECT_FALSE(openEntry(100).present());
  // The resource that was loaded before the lock failed has been given back.
  EXPECT_EQ(sim::loadedResourceCount(), 0);
  sim::setResourceFailure(sim::ResourceFailure::none);
  EXPECT_TRUE(openEntry(100).present());
}

TEST_F(PayloadEntryTest, IsAbsentWhenItsSizeFieldDisagreesOrItIsShorterThanTheHeader) {
  std::vector<uint8_t> bytes = makeEntry({"Work"}, {});
  ASSERT_EQ(bytes.size(), 24u);  // the smallest entry: one folder "Work"
  install(100, withUint32(bytes, 0, 25));
  EXPECT_FALSE(openEntry(100).present());
  std::vector<uint8_t> longer = bytes;
  longer.push_back(0);
  install(100, longer);
  EXPECT_FALSE(openEntry(100).present());
  install(100, std::vector<uint8_t>{15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_FALSE(openEntry(100).present());
  install(100, std::vector<uint8_t>{});
  EXPECT_FALSE(openEntry(100).present());
  EXPECT_EQ(sim::loadedResourceCount(), 0);
}

TEST_F(PayloadEntryTest, AnyChangedByteFromOffsetEightFailsTheChecksum) {
  std::vector<uint8_t> bytes = makeEntry({"Work", "Work\\Sub"}, {{"a.txt", "some text to keep"}});
  for (size_t i = 4; i < bytes.size(); ++i) {
    std::vector<uint8_t> changed = bytes;
    changed[i] ^= 0x01;
    install(100, changed);
    PayloadEntry entry = openEntry(100);
    ASSERT_TRUE(entry.present()) << "byte " << i;
    EXPECT_FALSE(entry.verifyChecksum()) << "byte " << i;
    entry.releaseEntry();
  }
}

TEST_F(PayloadEntryTest, BodyAndChecksumOfAnAbsentEntryAreInternalErrors) {
  auto body = [] {
    sim::answerNextMessageBox(IDOK);
    PayloadEntry entry = openEntry(100);
    entry.body();
  };
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(1), kInternalError);
  auto size = [] {
    sim::answerNextMessageBox(IDOK);
    openEntry(100).bodySize();
  };
  EXPECT_EXIT(size(), ::testing::ExitedWithCode(1), kInternalError);
  auto checksum = [] {
    sim::answerNextMessageBox(IDOK);
    openEntry(100).verifyChecksum();
  };
  EXPECT_EXIT(checksum(), ::testing::ExitedWithCode(1), kInternalError);
}

TEST_F(PayloadEntryTest, SumsRoundEachFileUpToWholeClustersAndCountOnlyFileNames) {
  std::string longFolder(200, 'f');
  install(100, makeEntry({longFolder}, {{"one", std::string(1, 'x')},
                                        {"exact.bin", std::string(32768, 'y')},
                                        {"over.bin", std::string(32769, 'z')}}));
  PayloadEntry entry = openEntry(100);
  ASSERT_TRUE(entry.present());
  CatalogueSums sums = entry.sumCatalogue(32768);
  entry.releaseEntry();
  EXPECT_EQ(sums.failed, 0);
  EXPECT_EQ(sums.rawBytes, 1 + 32768 + 32769);
  EXPECT_EQ(sums.clusterBytes, 32768 + 32768 + 65536);
  EXPECT_EQ(sums.clusterSize, 32768);
  EXPECT_EQ(sums.longestName, 9);  // "exact.bin"; the folder's 200 do not count

  install(103, makeEntry({"Work"}, {}));
  entry = openEntry(103);
  sums = entry.sumCatalogue(32768);
  entry.releaseEntry();
  EXPECT_EQ(sums.rawBytes, 0);
  EXPECT_EQ(sums.clusterBytes, 0);
  EXPECT_EQ(sums.longestName, 0);
  EXPECT_EQ(sums.failed, 0);
}

TEST_F(PayloadEntryTest, ACatalogueRunningPastTheEntryIsReportedNotRead) {
  // Written wrongly but with a correct checksum: the walk must stay inside.
  std::vector<uint8_t> bytes = makeEntry({"Work"}, {});
  std::vector<uint8_t> tooManyFolders = withUint32(bytes, 8, 2);
  std::vector<uint8_t> longName = withUint32(bytes, 16, 300);
  std::vector<uint8_t> negativeCount = withUint32(bytes, 12, 0xFFFFFFFFu);
  for (const std::vector<uint8_t>& damaged : {tooManyFolders, longName, negativeCount}) {
    install(100, damaged);
    PayloadEntry entry = openEntry(100);
    ASSERT_TRUE(entry.present());
    EXPECT_EQ(entry.sumCatalogue(32768).failed, 1);
    entry.releaseEntry();
  }
}

TEST_F(PayloadEntryTest, AnEntryIsHandedOverOnceAndAHeldOneIsNeverOverwritten) {
  install(100, makeEntry({"Work"}, {}));
  PayloadEntry first = openEntry(100);
  PayloadEntry second = std::move(first);
  EXPECT_FALSE(first.present());
  ASSERT_TRUE(second.present());
  second.releaseEntry();
  first.releaseEntry();
  EXPECT_EQ(sim::loadedResourceCount(), 0);
  auto overwrite = [] {
    sim::answerNextMessageBox(IDOK);
    PayloadEntry held = openEntry(100);
    held = openEntry(100);
  };
  EXPECT_EXIT(overwrite(), ::testing::ExitedWithCode(1), kInternalError);
}

// The component table and the start-up check of every payload entry: the
// size figures per component, the pipe driver entry per Windows family, and
// the first bad entry ending the check.
#include <string>
#include <vector>

#include "payload/catalogue.h"
#include "payload/component_table.h"
#include "sim_fixture.h"
#include "vmpack/entry_builder.h"

namespace {

const int kAllEntries[] = {100, 101, 102, 103, 104, 105, 200, 300, 400, 450, 500, 600, 601, 1000, 1001, 1002};

class ComponentTableTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    selectPipeDriverEntry(false);
    for (int id : kAllEntries) install(id, makeEntry({}, {{"file" + std::to_string(id), "x"}}));
  }
  void TearDown() override {
    selectPipeDriverEntry(false);
    SimTest::TearDown();
  }
  void install(int id, const std::vector<uint8_t>& bytes) { sim::addResource(kPayloadResourceType, id, bytes); }
};

}  // namespace

TEST_F(ComponentTableTest, ListsTheEntriesOfEachComponentAndEndsWithANull) {
  const std::vector<std::vector<int32_t>> expected = {
      {100, 101, 102, 103, 104, 105}, {200}, {300}, {400}, {500}, {600, 601}, {1000, 1001, 1002}};
  for (int c = 0; c < kComponentCount; ++c) {
    std::vector<int32_t> ids;
    for (const int32_t* id = componentTable[c]; *id != kEndOfEntries; ++id) ids.push_back(*id);
    EXPECT_EQ(ids, expected[c]) << "component " << c;
  }
  EXPECT_EQ(componentTable[kComponentCount], nullptr);
}

TEST_F(ComponentTableTest, SumsEachComponentAndFindsTheLongestFileName) {
  install(101, makeEntry({"Help"}, {{"vm.exe", std::string(40000, 'e')}, {"Help\\vm.hlp", "h"}}));
  install(103, makeEntry({"Work"}, {}));
  install(601, makeEntry({}, {{"Skins\\a rather long skin file name.bmp", "bmp"}}));
  ASSERT_EQ(verifyPayload(), 1);
  // Component 0: 100, 102, 104, 105 with one byte each, 101 with two files,
  // 103 with none.
  EXPECT_EQ(sizesOfComponent(0).rawBytes, 4 + 40000 + 1);
  EXPECT_EQ(sizesOfComponent(0).clusterBytes, 4 * 32768 + 65536 + 32768);
  EXPECT_EQ(sizesOfComponent(0).longestName, 11);  // "Help\vm.hlp"
  EXPECT_EQ(sizesOfComponent(5).rawBytes, 1 + 3);
  EXPECT_EQ(sizesOfComponent(5).longestName, 38);
  EXPECT_EQ(longestPayloadName, 38);
  EXPECT_EQ(sizesOfComponent(6).clusterBytes, 3 * 32768);
}

TEST_F(ComponentTableTest, WindowsNtChecksThe32BitPipeDriverAndNeverTouchesThe16BitOne) {
  install(450, makeEntry({}, {{"_velkp32.dll", std::string(70000, 'd')}}));
  sim::removeResource(kPayloadResourceType, 400);
  selectPipeDriverEntry(true);
  ASSERT_EQ(verifyPayload(), 1);
  EXPECT_EQ(sizesOfComponent(kComponentPipeDriver).clusterBytes, 3 * 32768);
  for (int id : sim::resourceLookups()) EXPECT_NE(id, 400);

  // The other families keep entry 400 and never look at 450.
  selectPipeDriverEntry(false);
  install(400, makeEntry({}, {{"_velkp16.drv", "d"}}));
  sim::removeResource(kPayloadResourceType, 450);
  EXPECT_EQ(verifyPayload(), 1);
  EXPECT_EQ(sizesOfComponent(kComponentPipeDriver).clusterBytes, 32768);
}

TEST_F(ComponentTableTest, TheFirstMissingOrDamagedEntryFailsTheCheck) {
  sim::removeResource(kPayloadResourceType, 300);
  EXPECT_EQ(verifyPayload(), 0);
  // Components before the failing one were summed; the rest were not looked at.
  for (int id : sim::resourceLookups()) EXPECT_LE(id, 300);

  install(300, makeEntry({}, {{"x", "y"}}));
  std::vector<uint8_t> damaged = makeEntry({}, {{"x", "y"}});
  damaged.back() ^= 0x40;
  install(1001, damaged);
  EXPECT_EQ(verifyPayload(), 0);
  EXPECT_EQ(sim::loadedResourceCount(), 0);
}

TEST_F(ComponentTableTest, AComponentNumberOutsideTheTableIsAnInternalError) {
  auto outside = [] {
    sim::answerNextMessageBox(IDOK);
    sizesOfComponent(kComponentCount);
  };
  EXPECT_EXIT(outside(), ::testing::ExitedWithCode(1), "Internal error");
  auto negative = [] {
    sim::answerNextMessageBox(IDOK);
    sizesOfComponent(-1);
  };
  EXPECT_EXIT(negative(), ::testing::ExitedWithCode(1), "Internal error");
}

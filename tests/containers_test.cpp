// DynArray and PtrList: contents kept across resizes, bounds and duplicate
// checks ending in the internal error, allocation failures left silent.
#include "base/containers.h"
#include "sim_fixture.h"

using DynArrayTest = SimTest;
using PtrListTest = SimTest;

namespace {

const char kInternalError[] = "Internal error";

void fillWithSquares(DynArray<int32_t>& array) {
  for (int32_t i = 0; i < array.count(); ++i) array[i] = i * i;
}

}  // namespace

TEST_F(DynArrayTest, ShrinkingKeepsTheLeadingElementsAndGrowingKeepsThemAgain) {
  DynArray<int32_t> array;
  array.resize(5);
  fillWithSquares(array);
  array.resize(3);
  ASSERT_EQ(array.count(), 3);
  EXPECT_EQ(array[0], 0);
  EXPECT_EQ(array[1], 1);
  EXPECT_EQ(array[2], 4);
  array.resize(5);
  ASSERT_EQ(array.count(), 5);
  EXPECT_EQ(array[2], 4);
}

TEST_F(DynArrayTest, ResizeToZeroFreesTheBlockAndIsANoOpWhenEmpty) {
  {
    DynArray<int32_t> array;
    array.resize(0);
    EXPECT_EQ(sim::liveHeapBlocks(), 0);
    array.resize(4);
    EXPECT_EQ(sim::liveHeapBlocks(), 1);
    array.resize(0);
    EXPECT_EQ(array.count(), 0);
    EXPECT_EQ(sim::liveHeapBlocks(), 0);
    array.resize(2);
  }
  EXPECT_EQ(sim::liveHeapBlocks(), 0) << "the destructor frees the elements";
}

TEST_F(DynArrayTest, FailedAllocationLeavesTheArrayExactlyAsItWas) {
  DynArray<int32_t> array;
  array.resize(4);
  fillWithSquares(array);
  sim::setHeapLimit(8 * sizeof(int32_t));
  array.resize(100);
  ASSERT_EQ(array.count(), 4);
  EXPECT_EQ(array[3], 9);
  EXPECT_TRUE(sim::messageBoxes().empty());
  // A size whose byte count is past what a block can be asked for also fails.
  sim::setHeapLimit(static_cast<size_t>(-1));
  array.resize(INT32_MAX);
  EXPECT_EQ(array.count(), 4);
}

TEST_F(DynArrayTest, AccessAtTheCountOrBelowZeroIsFatal) {
  DynArray<int32_t> array;
  array.resize(3);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EXIT(array[3] = 1, ::testing::ExitedWithCode(1), kInternalError);
  sim::answerNextMessageBox(IDOK);
  EXPECT_EXIT(array[-1] = 1, ::testing::ExitedWithCode(1), kInternalError);
  const DynArray<int32_t>& constant = array;
  EXPECT_EXIT((void)constant[INT32_MIN], ::testing::ExitedWithCode(1), kInternalError);
}

TEST_F(DynArrayTest, NegativeSizeIsFatal) {
  DynArray<int32_t> array;
  EXPECT_EXIT(array.resize(-1), ::testing::ExitedWithCode(1), kInternalError);
}

TEST_F(PtrListTest, TraversalRunsOldestFirstFromHeadAndNewestFirstFromTail) {
  int32_t items[3] = {10, 20, 30};
  PtrList<int32_t> list;
  EXPECT_EQ(list.head(), nullptr);
  for (int32_t& item : items) ASSERT_TRUE(list.append(&item));
  std::vector<int32_t> forward, backward;
  for (auto* node = list.head(); node != nullptr; node = node->next) forward.push_back(*node->item);
  for (auto* node = list.tail(); node != nullptr; node = node->previous) backward.push_back(*node->item);
  EXPECT_EQ(forward, (std::vector<int32_t>{10, 20, 30}));
  EXPECT_EQ(backward, (std::vector<int32_t>{30, 20, 10}));
  EXPECT_EQ(list.head()->previous, nullptr);
  EXPECT_EQ(list.tail()->next, nullptr);
}

TEST_F(PtrListTest, SameItemPointerTwiceIsFatalButEqualContentsAreAllowed) {
  int32_t first = 7, second = 7;
  PtrList<int32_t> list;
  ASSERT_TRUE(list.append(&first));
  ASSERT_TRUE(list.append(&second));
  EXPECT_EXIT(list.append(&first), ::testing::ExitedWithCode(1), kInternalError);
}

TEST_F(PtrListTest, ClearNodesFreesOnlyNodesAndLeavesTheListUsable) {
  int32_t* item = static_cast<int32_t*>(allocateBlock(sizeof(int32_t)));
  *item = 5;
  PtrList<int32_t> list;
  ASSERT_TRUE(list.append(item));
  list.clearNodes();
  EXPECT_EQ(list.head(), nullptr);
  EXPECT_EQ(list.tail(), nullptr);
  EXPECT_EQ(sim::liveHeapBlocks(), 1) << "the item stays with its owner";
  EXPECT_EQ(*item, 5);
  ASSERT_TRUE(list.append(item)) << "a cleared list forgets its items";
  list.clearNodes();
  freeBlock(item);
  EXPECT_EQ(sim::liveHeapBlocks(), 0);
}

TEST_F(PtrListTest, FailedNodeAllocationIsReportedAndLeavesTheListUnchanged) {
  int32_t first = 1, second = 2;
  PtrList<int32_t> list;
  ASSERT_TRUE(list.append(&first));
  sim::setHeapLimit(0);
  EXPECT_FALSE(list.append(&second));
  sim::setHeapLimit(static_cast<size_t>(-1));
  EXPECT_EQ(list.head(), list.tail());
  EXPECT_EQ(list.tail()->next, nullptr);
}

// Code descriptions turned into decoding trees: the canonical form shipped
// entries use, single-symbol and empty alphabets, and every way a damaged
// description ends in the internal error rather than in a wrong tree.
#include <vector>

#include "payload/code_tree.h"
#include "payload/decode_table.h"
#include "reference_decompressor.h"
#include "sim_fixture.h"
#include "vmpack/byte_sink.h"
#include "vmpack/prefix_code.h"

using CodeTreeTest = SimTest;

namespace {

const char kInternalError[] = "Internal error";

// Writes descriptions field by field, as the stream lays them out.
class Bits {
 public:
  Bits& field(uint32_t value, int32_t width) {
    sink_.putBitsLowFirst(value, width);
    return *this;
  }
  Bits& code(uint32_t value, int32_t length) {
    sink_.putBitsHighFirst(value, length);
    return *this;
  }
  std::vector<uint8_t> bytes() {
    ByteSink copy = sink_;
    copy.flushByte();
    return copy.bytes();
  }

 private:
  ByteSink sink_;
};

// The 30-literal code: 12 symbols of 6 bits, 12 of 5, 5 of 4 and 1 of 3.
std::vector<int> thirtyLiteralLengths() {
  std::vector<int> lengths(256, -1);
  for (int s = 0; s < 12; ++s) lengths['a' + s] = 6;
  for (int s = 0; s < 12; ++s) lengths['A' + s] = 5;
  for (int s = 0; s < 5; ++s) lengths['0' + s] = 4;
  lengths[' '] = 3;
  return lengths;
}

// The same description written out by hand from its fields.
std::vector<uint8_t> thirtyLiteralDescription() {
  Bits bits;
  bits.field(30, 32);
  bits.field(6, 32).field(2, 3).field(0, 4).field(11, 4);
  for (int s = 0; s < 12; ++s) bits.field('a' + s, 8);
  bits.field(5, 3).field(0, 3).field(6, 5).field(11, 5);
  for (int s = 0; s < 12; ++s) bits.field('A' + s, 8);
  bits.field(4, 3).field(0, 3).field(9, 4).field(4, 4);
  for (int s = 0; s < 5; ++s) bits.field('0' + s, 8);
  bits.field(3, 2).field(0, 2).field(7, 3).field(0, 3);
  bits.field(' ', 8);
  return bits.bytes();
}

int32_t decodeOne(CodeTree& tree, const std::vector<uint8_t>& bytes, int32_t* bitsTaken = nullptr) {
  MemoryBitSource source(bytes.data(), bytes.data() + bytes.size());
  int32_t symbol = walkCodeTree(tree, source);
  if (bitsTaken != nullptr) *bitsTaken = source.bitsRead;
  return symbol;
}

void readTree(CodeTree& tree, const std::vector<uint8_t>& description) {
  MemoryBitSource source(description.data(), description.data() + description.size());
  tree.readCodeTree(source);
}

// Builds a tree from a description inside a death test.
void readDescriptionExpectingFailure(int32_t symbolBits, const std::vector<uint8_t>& description) {
  sim::answerNextMessageBox(IDOK);
  CodeTree tree(symbolBits);
  readTree(tree, description);
}

}  // namespace

TEST_F(CodeTreeTest, ThirtyLiteralCodeHasTheCanonicalGroupsAndDecodesEverySymbol) {
  PrefixCode code = prefixCodeFromLengths(thirtyLiteralLengths());
  ASSERT_EQ(code.groups.size(), 4u);
  const int expected[4][4] = {{6, 2, 0, 12}, {5, 0, 6, 12}, {4, 0, 9, 5}, {3, 0, 7, 1}};
  for (int g = 0; g < 4; ++g) {
    EXPECT_EQ(code.groups[g].length, expected[g][0]);
    EXPECT_EQ(code.groups[g].leadingZeros, expected[g][1]);
    EXPECT_EQ(code.groups[g].start, static_cast<uint32_t>(expected[g][2]));
    EXPECT_EQ(code.groups[g].symbols.size(), static_cast<size_t>(expected[g][3]));
  }
  ByteSink sink;
  writeCodeDescription(sink, code, 8);
  sink.flushByte();
  EXPECT_EQ(sink.bytes(), thirtyLiteralDescription());

  CodeTree tree(8);
  readTree(tree, thirtyLiteralDescription());
  EXPECT_EQ(tree.codedCount, 30);
  // The symbol of the last group is read with the three bits 1, 1, 1.
  int32_t taken = 0;
  EXPECT_EQ(decodeOne(tree, Bits().code(7, 3).bytes(), &taken), ' ');
  EXPECT_EQ(taken, 3);
  for (int s = 0; s < 256; ++s) {
    if (code.lengths[s] < 0) continue;
    EXPECT_EQ(decodeOne(tree, Bits().code(code.codes[s], code.lengths[s]).bytes(), &taken), s);
    EXPECT_EQ(taken, code.lengths[s]);
  }
}

TEST_F(CodeTreeTest, ASingleSymbolIsSentWithLengthZeroAndDecodesWithoutBits) {
  std::vector<uint64_t> counts(64, 0);
  counts[17] = 5;
  PrefixCode code = buildPrefixCode(counts);
  ASSERT_EQ(code.codedCount, 1);
  EXPECT_EQ(code.lengths[17], 0);
  Bits expected;
  expected.field(1, 32).field(0, 32).field(0, 1).field(17, 6);
  ByteSink sink;
  writeCodeDescription(sink, code, 6);
  sink.flushByte();
  EXPECT_EQ(sink.bytes(), expected.bytes());

  CodeTree tree(6);
  readTree(tree, expected.bytes());
  const std::vector<uint8_t> none;
  int32_t taken = -1;
  EXPECT_EQ(decodeOne(tree, none, &taken), 17);
  EXPECT_EQ(taken, 0);
}

TEST_F(CodeTreeTest, AnEmptyAlphabetIsAcceptedButUsingItIsAnInternalError) {
  std::vector<uint8_t> description = Bits().field(0, 32).bytes();
  CodeTree tree(6);
  readTree(tree, description);
  EXPECT_EQ(tree.codedCount, 0);
  EXPECT_EQ(tree.root, -1);
  auto useIt = [&] {
    sim::answerNextMessageBox(IDOK);
    decodeOne(tree, Bits().field(0, 8).bytes());
  };
  EXPECT_EXIT(useIt(), ::testing::ExitedWithCode(1), kInternalError);
}

TEST_F(CodeTreeTest, FifteenBitCodesFromSkewedCountsDecodeEverySymbol) {
  // Fibonacci counts make the deepest possible tree; the limit cuts it at 15.
  std::vector<uint64_t> counts(256, 0);
  uint64_t a = 1;
  uint64_t b = 1;
  for (int s = 0; s < 40; ++s) {
    counts[s * 3] = a;
    uint64_t next = a + b;
    a = b;
    b = next;
  }
  PrefixCode code = buildPrefixCode(counts);
  int longest = 0;
  for (int length : code.lengths) longest = length > longest ? length : longest;
  EXPECT_EQ(longest, 15);
  ByteSink sink;
  writeCodeDescription(sink, code, 8);
  sink.flushByte();
  CodeTree tree(8);
  readTree(tree, sink.bytes());
  for (int s = 0; s < 256; ++s) {
    if (code.lengths[s] < 0) continue;
    EXPECT_EQ(decodeOne(tree, Bits().code(code.codes[s], code.lengths[s]).bytes()), s);
  }
}

TEST_F(CodeTreeTest, DamagedDescriptionsEndInTheInternalError) {
  // A symbol listed twice, in two groups.
  EXPECT_EXIT(readDescriptionExpectingFailure(
                  6, Bits().field(3, 32).field(2, 32).field(0, 2).field(0, 2).field(1, 2).field(5, 6).field(9, 6)
                         .field(1, 1).field(0, 1).field(1, 1).field(0, 1).field(5, 6).bytes()),
              ::testing::ExitedWithCode(1), kInternalError);
  // Symbols out of order within a group.
  EXPECT_EXIT(readDescriptionExpectingFailure(
                  6, Bits().field(2, 32).field(1, 32).field(0, 1).field(0, 1).field(1, 1).field(9, 6).field(5, 6).bytes()),
              ::testing::ExitedWithCode(1), kInternalError);
  // A group listing more symbols than were announced.
  EXPECT_EXIT(readDescriptionExpectingFailure(
                  6, Bits().field(2, 32).field(2, 32).field(0, 2).field(0, 2).field(2, 2).field(1, 6).field(2, 6)
                         .field(3, 6).bytes()),
              ::testing::ExitedWithCode(1), kInternalError);
  // Two codes of length 2 that are not siblings: 01 and 10 cannot be joined.
  EXPECT_EXIT(readDescriptionExpectingFailure(
                  6, Bits().field(2, 32).field(2, 32).field(0, 2).field(1, 2).field(1, 2).field(1, 6).field(2, 6)
                         .bytes()),
              ::testing::ExitedWithCode(1), kInternalError);
  // A length-0 group while more symbols follow: no width for the next length.
  EXPECT_EXIT(readDescriptionExpectingFailure(6, Bits().field(2, 32).field(0, 32).field(0, 1).field(4, 6).bytes()),
              ::testing::ExitedWithCode(1), kInternalError);
  // More leading zeros than the code length leaves a negative field width.
  EXPECT_EXIT(readDescriptionExpectingFailure(6, Bits().field(2, 32).field(2, 32).field(3, 2).bytes()),
              ::testing::ExitedWithCode(1), kInternalError);
  // A length so large its fields exceed 32 bits.
  EXPECT_EXIT(readDescriptionExpectingFailure(6, Bits().field(2, 32).field(40, 32).field(0, 6).bytes()),
              ::testing::ExitedWithCode(1), kInternalError);
  // A description that stops after its count reads zeros, which cannot
  // describe five symbols.
  EXPECT_EXIT(readDescriptionExpectingFailure(8, Bits().field(5, 32).bytes()), ::testing::ExitedWithCode(1),
              kInternalError);
  // Two codes of length 3 leave their parent without a partner: an
  // incomplete code.
  EXPECT_EXIT(readDescriptionExpectingFailure(
                  6, Bits().field(2, 32).field(3, 32).field(1, 2).field(0, 2).field(1, 2).field(1, 6).field(2, 6)
                         .bytes()),
              ::testing::ExitedWithCode(1), kInternalError);
}

TEST_F(CodeTreeTest, TheLookupTableFindsEveryCodeWordAndHandsLongerOnesToTheTree) {
  PrefixCode code = prefixCodeFromLengths(thirtyLiteralLengths());
  CodeTree tree(8);
  readTree(tree, thirtyLiteralDescription());
  // Four code bits: the codes of 3 and 4 bits fit, those of 5 and 6 do not.
  // Each form is laid out alone and behind a one-bit prefix, as the item
  // table holds the literals behind the flag 0, the other half untouched.
  const int32_t width = 4;
  const uint32_t untouched = 0x12345678;
  for (int32_t prefixBits = 0; prefixBits <= 1; ++prefixBits) {
    const TableForm form{width, prefixBits, 0, 3, 2, 7};
    std::vector<uint32_t> table(size_t{1} << (width + prefixBits), untouched);
    buildDecodeTable(tree, table.data(), form);
    auto at = [&](uint32_t codeBits) { return table[codeBits << prefixBits]; };
    for (size_t i = 1; prefixBits == 1 && i < table.size(); i += 2) EXPECT_EQ(table[i], untouched);
    int32_t found = 0;
    for (int s = 0; s < 256; ++s) {
      int32_t length = code.lengths[s];
      if (length < 0) continue;
      ++found;
      // The code word's bits in reading order, highest first, from bit 0 up.
      uint32_t read = 0;
      for (int32_t j = 0; j < length; ++j) read |= ((code.codes[s] >> (length - 1 - j)) & 1u) << j;
      if (length <= width) {
        for (uint32_t rest = 0; rest < (1u << (width - length)); ++rest) {
          uint32_t entry = at(read | rest << length);
          EXPECT_EQ(entry & (kLongCode | kLiteralPair), 0u) << s;
          EXPECT_EQ(tableEntryValue(entry), s * 3 + 2);
          EXPECT_EQ(tableEntryBits(entry), prefixBits + length);
          EXPECT_EQ(tableEntryNext(entry), prefixBits + length + 7);
        }
        continue;
      }
      uint32_t entry = at(read & ((1u << width) - 1));
      ASSERT_EQ(entry & (kLongCode | kLiteralPair), kLongCode) << s;
      EXPECT_EQ(tableEntryBits(entry), prefixBits + width);
      EXPECT_EQ(tableEntryNext(entry), prefixBits + width);
      int32_t node = tableEntryValue(entry);
      for (int32_t j = width; j < length; ++j) {
        const CodeTreeNode& inner = tree.nodes[node];
        node = ((read >> j) & 1u) != 0 ? inner.child1 : inner.child0;
      }
      EXPECT_EQ(node, s);
    }
    EXPECT_EQ(found, 30);
  }

  // One symbol takes no bits; no symbol at all leads nowhere.
  std::vector<uint32_t> table(1 << width);
  const TableForm plain{width, 0, 0, 1, 0, 0};
  CodeTree single(6);
  readTree(single, Bits().field(1, 32).field(0, 32).field(0, 1).field(17, 6).bytes());
  buildDecodeTable(single, table.data(), plain);
  for (uint32_t entry : table) EXPECT_EQ(entry, 17u << kTableEntryValueShift);
  CodeTree none(6);
  readTree(none, Bits().field(0, 32).bytes());
  buildDecodeTable(none, table.data(), plain);
  for (uint32_t entry : table) EXPECT_EQ(entry, kLongCode | kNoTreeNode << kTableEntryValueShift);
}

TEST_F(CodeTreeTest, SymbolsWiderThanSixteenBitsAreAnInternalError) {
  auto tooWide = [] {
    sim::answerNextMessageBox(IDOK);
    CodeTree tree(17);
  };
  EXPECT_EXIT(tooWide(), ::testing::ExitedWithCode(1), kInternalError);
}

TEST(BitWidthTest, CountsTheBitsNeededAndAtLeastOne) {
  EXPECT_EQ(bitWidth(0), 1);
  EXPECT_EQ(bitWidth(1), 1);
  EXPECT_EQ(bitWidth(2), 2);
  EXPECT_EQ(bitWidth(3), 2);
  EXPECT_EQ(bitWidth(4), 3);
  EXPECT_EQ(bitWidth(255), 8);
  EXPECT_EQ(bitWidth(0x7FFFFFFF), 31);
}

// The catalogue cursor, the memory bit source and the shared half of the
// sinks: bit order, ends of data, and the checks that end in the internal
// error.
#include <vector>

#include "payload/bit_stream.h"
#include "sim_fixture.h"
#include "vmpack/byte_sink.h"

using ByteCursorTest = SimTest;
using MemoryBitSourceTest = SimTest;
using BitSinkTest = SimTest;

namespace {

const char kInternalError[] = "Internal error";

// A sink that records every byte handed on and every bit put.
class RecordingSink final : public BitSink {
 public:
  void putBit(int32_t bit) override {
    bits.push_back(bit);
    shiftBitIn(accumulator, bitCount, bit);
  }
  void flushByte() override {
    if (bitCount == 0) return;
    bytes.push_back(static_cast<uint8_t>(accumulator));
    accumulator = 0;
    bitCount = 0;
  }
  std::vector<int32_t> bits;
  std::vector<uint8_t> bytes;
  int32_t accumulator = 0;
  int32_t bitCount = 0;
};

void answerInternalError() { sim::answerNextMessageBox(IDOK); }

}  // namespace

TEST_F(ByteCursorTest, ReadsWholeRecordsAndFailsStickilyOnAShortOne) {
  const uint8_t bytes[] = {1, 2, 3, 4, 5};
  ByteCursor cursor(bytes, 5);
  uint8_t out[4] = {0, 0, 0, 0};
  EXPECT_EQ(cursor.read(out, 2), 1);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(cursor.read(out, 4), 0);
  // The bytes that were there have been copied and consumed.
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(out[2], 5);
  EXPECT_EQ(cursor.position(), bytes + 5);
  EXPECT_EQ(cursor.failed(), 1);
  EXPECT_EQ(cursor.read(out, 0), 1);
  EXPECT_EQ(cursor.failed(), 1);
}

TEST_F(MemoryBitSourceTest, TakesBitZeroFirstAndIsAtEndExactlyAfterTheLastBit) {
  const uint8_t bytes[] = {0x01, 0x80};
  MemoryBitSource source(bytes, bytes + 2);
  std::vector<int32_t> bits;
  for (int i = 0; i < 16; ++i) {
    EXPECT_FALSE(source.atEnd()) << "before bit " << i;
    bits.push_back(source.nextBit());
  }
  EXPECT_TRUE(source.atEnd());
  EXPECT_EQ(bits[0], 1);
  for (int i = 1; i < 15; ++i) EXPECT_EQ(bits[i], 0);
  EXPECT_EQ(bits[15], 1);
  EXPECT_EQ(source.bitsRead, 16);
}

TEST_F(MemoryBitSourceTest, FieldsAreLittleEndianAndShortAtTheEnd) {
  const uint8_t header[] = {0xD8, 0x01, 0x00, 0x00};
  MemoryBitSource source(header, header + 4);
  uint32_t value = 99;
  EXPECT_EQ(source.readBits(&value, 0), 0);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(source.bitsRead, 0);
  EXPECT_EQ(source.readBits(&value, 32), 32);
  EXPECT_EQ(value, 472u);

  const uint8_t last[] = {0xFF};
  MemoryBitSource tail(last, last + 1);
  tail.readBits(&value, 5);
  EXPECT_EQ(tail.readBits(&value, 8), 3);
  EXPECT_EQ(value, 7u);

  // Fields of every width from every bit position up to and past the end
  // hold the bits that single reads give, and count what they took.
  std::vector<uint8_t> bytes(13);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 73 + 41);
  for (int32_t skip = 0; skip < 12; ++skip) {
    for (int32_t width = 0; width <= 32; ++width) {
      MemoryBitSource fields(bytes.data(), bytes.data() + bytes.size());
      MemoryBitSource single(bytes.data(), bytes.data() + bytes.size());
      fields.readBits(&value, skip);
      for (int32_t i = 0; i < skip; ++i) single.nextBit();
      while (!single.atEnd()) {
        uint32_t expected = 0;
        int32_t taken = 0;
        for (; taken < width && !single.atEnd(); ++taken) expected |= static_cast<uint32_t>(single.nextBit()) << taken;
        ASSERT_EQ(fields.readBits(&value, width), taken) << width << " bits after " << skip;
        ASSERT_EQ(value, expected) << width << " bits after " << skip;
        ASSERT_EQ(fields.bitsRead, single.bitsRead);
        if (width == 0) break;
      }
      EXPECT_EQ(fields.atEnd(), width > 0);
    }
  }
}

TEST_F(MemoryBitSourceTest, AnEmptyRangeIsAtEndAndResetStartsOver) {
  const uint8_t bytes[] = {0x02};
  MemoryBitSource empty(bytes, bytes);
  EXPECT_TRUE(empty.atEnd());
  MemoryBitSource source(bytes, bytes + 1);
  EXPECT_EQ(source.nextBit(), 0);
  EXPECT_EQ(source.nextBit(), 1);
  source.reset();
  EXPECT_EQ(source.nextBit(), 0);
}

TEST_F(MemoryBitSourceTest, ReadingPastTheEndOrAFieldWiderThan32IsAnInternalError) {
  const uint8_t bytes[] = {0xAA};
  auto pastEnd = [&] {
    answerInternalError();
    MemoryBitSource source(bytes, bytes + 1);
    for (int i = 0; i < 9; ++i) source.nextBit();
  };
  EXPECT_EXIT(pastEnd(), ::testing::ExitedWithCode(1), kInternalError);
  auto wide = [&] {
    answerInternalError();
    MemoryBitSource source(bytes, bytes + 1);
    uint32_t value = 0;
    source.readBits(&value, 33);
  };
  EXPECT_EXIT(wide(), ::testing::ExitedWithCode(1), kInternalError);
  auto negative = [&] {
    answerInternalError();
    MemoryBitSource source(bytes, bytes + 1);
    uint32_t value = 0;
    source.readBits(&value, -1);
  };
  EXPECT_EXIT(negative(), ::testing::ExitedWithCode(1), kInternalError);
}

TEST_F(BitSinkTest, NineBitsHandOnOneByteAndKeepTheNinthUntilFlushed) {
  RecordingSink sink;
  sink.putBitsLowFirst(0xA5, 8);
  ASSERT_EQ(sink.bytes.size(), 0u);  // a full byte waits for a ninth bit
  sink.putBitsLowFirst(1, 1);
  ASSERT_EQ(sink.bytes.size(), 1u);
  EXPECT_EQ(sink.bytes[0], 0xA5);
  EXPECT_EQ(sink.bitCount, 1);
  sink.putBitsLowFirst(1, 1);
  ASSERT_EQ(sink.bytes.size(), 1u);
  sink.flushByte();
  ASSERT_EQ(sink.bytes.size(), 2u);
  EXPECT_EQ(sink.bytes[1], 0x03);
  EXPECT_EQ(sink.bitsWritten, 10);
}

TEST_F(BitSinkTest, HighFirstPutsTheTopBitOfTheFieldFirst) {
  RecordingSink sink;
  sink.putBitsHighFirst(0x6, 3);
  EXPECT_EQ(sink.bits, (std::vector<int32_t>{1, 1, 0}));
  sink.putBitsLowFirst(0x6, 3);
  EXPECT_EQ(sink.bits, (std::vector<int32_t>{1, 1, 0, 0, 1, 1}));
  sink.putBitsLowFirst(0xFFFFFFFFu, 32);
  EXPECT_EQ(sink.bitsWritten, 38);
  sink.flushByte();
}

TEST_F(BitSinkTest, AValueTooWideForItsFieldOrAFieldOver32IsAnInternalError) {
  auto tooWide = [] {
    answerInternalError();
    RecordingSink sink;
    sink.putBitsLowFirst(256, 8);
  };
  EXPECT_EXIT(tooWide(), ::testing::ExitedWithCode(1), kInternalError);
  auto tooMany = [] {
    answerInternalError();
    RecordingSink sink;
    sink.putBitsHighFirst(0, 33);
  };
  EXPECT_EXIT(tooMany(), ::testing::ExitedWithCode(1), kInternalError);
  auto brokenCount = [] {
    answerInternalError();
    RecordingSink sink;
    sink.bitCount = 9;
    sink.putBit(1);
  };
  EXPECT_EXIT(brokenCount(), ::testing::ExitedWithCode(1), kInternalError);
}

// Decoding whole streams: the header of the smallest shipped file entry,
// matches that overlap their own output, the progress schedule, short last
// symbols, and damaged streams that must end in the internal error and never
// in a crash or an endless loop.
#include <sys/wait.h>

#include <string>
#include <vector>

#include "payload/decompressor.h"
#include "sim_fixture.h"
#include "vmpack/byte_sink.h"
#include "vmpack/stream_encoder.h"

using DecompressorTest = SimTest;

namespace {

const char kInternalError[] = "Internal error";

Item literal(char c) { return Item{0, static_cast<uint8_t>(c)}; }
Item match(int length, int distance) { return Item{static_cast<uint16_t>(length), static_cast<uint16_t>(distance)}; }

std::vector<uint8_t> streamOf(const std::vector<Item>& items, int32_t totalBits) {
  SymbolCounts counts = countSymbols(items);
  return writeStream(totalBits, items, buildStreamCodes(counts));
}

int32_t bytesOf(const std::vector<Item>& items) {
  int32_t n = 0;
  for (const Item& item : items) n += item.length == 0 ? 1 : item.length;
  return n;
}

std::vector<uint8_t> streamOf(const std::vector<Item>& items) { return streamOf(items, bytesOf(items) * 8); }

struct Decoded {
  int32_t result;
  std::string text;
  int32_t bitsWritten;
};

Decoded decode(const std::vector<uint8_t>& stream, ProgressFunction progress = nullptr) {
  MemoryBitSource source(stream.data(), stream.data() + stream.size());
  ByteSink sink;
  Decompressor decompressor(kEntrySymbolBits, kEntryWindowBits);
  int32_t result = decompressor.decodeStream(source, sink, progress);
  int32_t bits = sink.bitsWritten;
  sink.flushByte();
  return Decoded{result, std::string(sink.bytes().begin(), sink.bytes().end()), bits};
}

void decodeExpectingFailure(const std::vector<uint8_t>& stream) {
  sim::answerNextMessageBox(IDOK);
  decode(stream);
}

std::vector<double> progressCalls;
int32_t stopAtCall = -1;

int recordProgress(double fraction) {
  progressCalls.push_back(fraction);
  return static_cast<int32_t>(progressCalls.size()) == stopAtCall ? 0 : 1;
}

}  // namespace

TEST_F(DecompressorTest, SmallestFileEntryStreamBeginsWithItsBitCountAndLiteralCode) {
  const uint8_t prefix[] = {0xD8, 0x01, 0x00, 0x00, 0x1E, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x82, 0x6D};
  MemoryBitSource source(prefix, prefix + sizeof prefix);
  uint32_t totalBits = 0, codedCount = 0, length = 0, leadingZeros = 0, start = 9, countMinusOne = 0;
  source.readBits(&totalBits, 32);
  source.readBits(&codedCount, 32);
  source.readBits(&length, 32);
  source.readBits(&leadingZeros, bitWidth(static_cast<int32_t>(length)));
  source.readBits(&start, static_cast<int32_t>(length - leadingZeros));
  source.readBits(&countMinusOne, static_cast<int32_t>(length - leadingZeros));
  EXPECT_EQ(totalBits, 472u);  // 59 bytes
  EXPECT_EQ(codedCount, 30u);
  EXPECT_EQ(length, 6u);
  EXPECT_EQ(leadingZeros, 2u);
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(countMinusOne, 11u);
  EXPECT_EQ(source.bitsRead, 96 + 3 + 4 + 4);
}

TEST_F(DecompressorTest, AMatchOverlapsItsOwnOutput) {
  // Distance 1 and length 64 after one literal: 65 copies of it.
  Decoded run = decode(streamOf({literal('x'), match(64, 1)}));
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.text, std::string(65, 'x'));
  Decoded pattern = decode(streamOf({literal('a'), literal('b'), literal('c'), match(7, 3)}));
  EXPECT_EQ(pattern.text, "abcabcabca");
}

TEST_F(DecompressorTest, MatchesReachTheWholeWindowAfterItHasWrapped) {
  // 10000 symbols push the first 1808 out of the 8192-symbol ring; a match
  // of the farthest distance then copies from position 1808 on.
  std::vector<Item> items;
  std::string expected;
  for (int i = 0; i < 10000; ++i) {
    char c = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    items.push_back(literal(c));
    expected.push_back(c);
  }
  items.push_back(match(64, 8192));
  expected += expected.substr(10000 - 8192, 64);
  EXPECT_EQ(decode(streamOf(items)).text, expected);
}

TEST_F(DecompressorTest, ProgressIsReportedInAlternatingRunsOf256Symbols) {
  std::vector<Item> items;
  for (int i = 0; i < 300; ++i) items.push_back(literal(static_cast<char>('a' + i % 3)));
  std::vector<uint8_t> stream = streamOf(items);
  progressCalls.clear();
  stopAtCall = -1;
  EXPECT_EQ(decode(stream, recordProgress).result, 1);
  // After the symbols with index 256 to 299.
  ASSERT_EQ(progressCalls.size(), 44u);
  EXPECT_DOUBLE_EQ(progressCalls.front(), 257.0 / 300.0);
  EXPECT_DOUBLE_EQ(progressCalls.back(), 1.0);

  progressCalls.clear();
  EXPECT_EQ(decode(streamOf(std::vector<Item>(items.begin(), items.begin() + 256)), recordProgress).result, 1);
  EXPECT_TRUE(progressCalls.empty());

  // A stop asked for at the first call ends the decoding there.
  progressCalls.clear();
  stopAtCall = 1;
  Decoded stopped = decode(stream, recordProgress);
  EXPECT_EQ(stopped.result, 0);
  EXPECT_EQ(stopped.text.size(), 257u);
  stopAtCall = -1;
}

TEST_F(DecompressorTest, ANonPositiveBitCountDecodesNothingAfterReadingTheCodes) {
  std::vector<uint8_t> stream = streamOf({literal('q')}, 0);
  Decoded none = decode(stream);
  EXPECT_EQ(none.result, 1);
  EXPECT_EQ(none.bitsWritten, 0);
  EXPECT_EQ(decode(streamOf({literal('q')}, -8)).result, 1);
  // The descriptions are read all the same: a broken one still fails.
  std::vector<uint8_t> broken = {0, 0, 0, 0, 5, 0, 0, 0};
  EXPECT_EXIT(decodeExpectingFailure(broken), ::testing::ExitedWithCode(1), kInternalError);
}

TEST_F(DecompressorTest, ABitCountShortOfWholeBytesTakesOnlyTheLowBitsOfTheLastSymbol) {
  Decoded partial = decode(streamOf({literal('A'), literal(5)}, 8 + 3));
  EXPECT_EQ(partial.result, 1);
  EXPECT_EQ(partial.bitsWritten, 11);
  EXPECT_EQ(partial.text, std::string("A\x05"));
  // A last symbol wider than the bits left is refused by the sink.
  EXPECT_EXIT(decodeExpectingFailure(streamOf({literal('A'), literal(9)}, 8 + 3)), ::testing::ExitedWithCode(1),
              kInternalError);
}

TEST_F(DecompressorTest, StreamsThatContradictThemselvesEndInTheInternalError) {
  // A match reaching before the first symbol.
  EXPECT_EXIT(decodeExpectingFailure(streamOf({literal('a'), match(4, 2)})), ::testing::ExitedWithCode(1),
              kInternalError);
  // Data that ends before the announced bit count.
  EXPECT_EXIT(decodeExpectingFailure(streamOf({literal('a'), literal('b')}, 8 * 40)), ::testing::ExitedWithCode(1),
              kInternalError);
  // A match flag in a stream whose distance and length codes are empty: the
  // first padding bit after the items is made a flag 1.
  std::vector<Item> literalsOnly = {literal('a'), literal('b')};
  SymbolCounts counts = countSymbols(literalsOnly);
  StreamCodes codes = buildStreamCodes(counts);
  std::vector<uint8_t> withFlag = writeStream(8 * 3, literalsOnly, codes);
  uint64_t end = streamBits(counts, codes);
  ASSERT_NE(end % 8, 0u);
  withFlag[end / 8] |= static_cast<uint8_t>(1 << (end % 8));
  EXPECT_EXIT(decodeExpectingFailure(withFlag), ::testing::ExitedWithCode(1), kInternalError);
}

TEST_F(DecompressorTest, AWindowWithoutRoomForTheLowDistanceBitsIsAnInternalError) {
  auto tooSmall = [] {
    sim::answerNextMessageBox(IDOK);
    Decompressor decompressor(8, 6);
  };
  EXPECT_EXIT(tooSmall(), ::testing::ExitedWithCode(1), kInternalError);
}

// Every truncation and every flipped bit of a real stream either decodes or
// ends in the internal error: never a signal, never a hang.
TEST_F(DecompressorTest, DamagedStreamsNeverCrash) {
  std::vector<Item> items = {literal('V'), literal('e'), literal('l'), literal('k'), literal(' '), match(5, 5),
                             match(64, 1), literal('!'), match(12, 70)};
  std::vector<uint8_t> stream = streamOf(items);
  auto survives = [](int status) {
    return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 1);
  };
  auto decodeAndLeave = [](std::vector<uint8_t> damaged) {
    sim::answerNextMessageBox(IDOK);
    decode(damaged);
    _exit(0);
  };
  for (size_t length = 0; length < stream.size(); ++length) {
    std::vector<uint8_t> truncated(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_EXIT(decodeAndLeave(truncated), survives, "") << "cut at " << length;
  }
  for (size_t bit = 0; bit < stream.size() * 8; bit += 3) {
    std::vector<uint8_t> flipped = stream;
    flipped[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
    EXPECT_EXIT(decodeAndLeave(flipped), survives, "") << "bit " << bit;
  }
}

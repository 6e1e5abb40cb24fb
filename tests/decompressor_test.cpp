// Decoding whole streams: the header of the smallest shipped file entry,
// matches that overlap their own output, the progress schedule, short last
// symbols, and damaged streams that must end in the internal error and never
// in a crash or an endless loop. The program's table-driven decoder is held
// to the tree-walking reference on every stream: the same bytes, the same
// progress calls, the same result and the same failures.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "payload/decompressor.h"
#include "reference_decompressor.h"
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
  Decompressor decompressor;
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

// After the item that reaches 4096, 8192 and so on: a match across the
// boundary reports once it is whole, a literal on it at once, and the
// stream's end needs no report.
TEST_F(DecompressorTest, ProgressIsReportedAfterTheItemThatReachesEachRunOf4096Symbols) {
  std::vector<Item> items;
  for (int i = 0; i < 4090; ++i) items.push_back(literal(static_cast<char>('a' + i % 3)));
  items.push_back(match(64, 3));
  for (int i = 4154; i < 8192 + 10; ++i) items.push_back(literal(static_cast<char>('a' + i % 3)));
  std::vector<uint8_t> stream = streamOf(items);
  progressCalls.clear();
  stopAtCall = -1;
  EXPECT_EQ(decode(stream, recordProgress).result, 1);
  EXPECT_EQ(progressCalls, (std::vector<double>{4154.0 / 8202.0, 8192.0 / 8202.0}));

  progressCalls.clear();
  EXPECT_EQ(decode(streamOf(std::vector<Item>(items.begin(), items.begin() + 4090)), recordProgress).result, 1);
  EXPECT_TRUE(progressCalls.empty());

  // A stop asked for at the first call ends the decoding after that item.
  progressCalls.clear();
  stopAtCall = 1;
  Decoded stopped = decode(stream, recordProgress);
  EXPECT_EQ(stopped.result, 0);
  EXPECT_EQ(stopped.text.size(), 4154u);
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


namespace {

// What one decoder made of a stream, decoded in a child process so that an
// internal error ends only the child. Progress calls travel to the parent as
// they are made, so those before a failure are seen too.
struct Outcome {
  int status = -1;  // the child's exit code: 0 returned, 1 internal error
  int32_t result = -1;
  std::string text;
  int32_t bitsWritten = 0;
  int32_t bitsRead = 0;
  std::vector<double> calls;
};

int reportPipe = -1;
int32_t callsMade = 0;
int32_t stopAtReport = 0;

void sendBytes(const void* bytes, size_t size) {
  const char* at = static_cast<const char*>(bytes);
  while (size > 0) {
    ssize_t sent = write(reportPipe, at, size);
    if (sent <= 0) _exit(3);
    at += sent;
    size -= static_cast<size_t>(sent);
  }
}

int reportCall(double fraction) {
  sendBytes("c", 1);
  sendBytes(&fraction, sizeof fraction);
  return ++callsMade == stopAtReport ? 0 : 1;
}

enum class Decoder { program, reference };

// progress: 0 none, else calls are reported and the stopAt-th asks to stop
// (0: none does).
Outcome decodeIsolated(Decoder decoder, const std::vector<uint8_t>& stream, bool withProgress, int32_t stopAt) {
  int ends[2];
  if (pipe(ends) != 0) return Outcome();
  pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    reportPipe = ends[1];
    int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, 2);
    sim::answerNextMessageBox(IDOK);
    callsMade = 0;
    stopAtReport = stopAt;
    MemoryBitSource source(stream.data(), stream.data() + stream.size());
    ByteSink sink;
    ProgressFunction progress = withProgress ? reportCall : nullptr;
    int32_t result = 0;
    if (decoder == Decoder::program) {
      Decompressor decompressor;
      result = decompressor.decodeStream(source, sink, progress);
    } else {
      TreeWalkingDecompressor walker(kEntrySymbolBits, kEntryWindowBits);
      result = walker.decodeStream(source, sink, progress);
    }
    int32_t figures[3] = {result, sink.bitsWritten, source.bitsRead};
    sink.flushByte();
    uint64_t size = sink.bytes().size();
    sendBytes("r", 1);
    sendBytes(figures, sizeof figures);
    sendBytes(&size, sizeof size);
    sendBytes(sink.bytes().data(), sink.bytes().size());
    _exit(0);
  }
  close(ends[1]);
  std::string report;
  char buffer[65536];
  ssize_t got;
  while ((got = read(ends[0], buffer, sizeof buffer)) > 0) report.append(buffer, static_cast<size_t>(got));
  close(ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  Outcome outcome;
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  size_t at = 0;
  while (at < report.size() && report[at] == 'c') {
    double fraction;
    memcpy(&fraction, report.data() + at + 1, sizeof fraction);
    outcome.calls.push_back(fraction);
    at += 1 + sizeof fraction;
  }
  if (at < report.size() && report[at] == 'r') {
    int32_t figures[3];
    uint64_t size;
    memcpy(figures, report.data() + at + 1, sizeof figures);
    memcpy(&size, report.data() + at + 1 + sizeof figures, sizeof size);
    outcome.result = figures[0];
    outcome.bitsWritten = figures[1];
    outcome.bitsRead = figures[2];
    outcome.text = report.substr(at + 1 + sizeof figures + sizeof size, size);
  }
  return outcome;
}

// Both decoders end alike: a result with the same bytes, bits and calls, or
// the internal error after the same calls. Anything else is a crash.
::testing::AssertionResult decodeAlike(const std::vector<uint8_t>& stream, bool withProgress, int32_t stopAt = 0) {
  Outcome program = decodeIsolated(Decoder::program, stream, withProgress, stopAt);
  Outcome reference = decodeIsolated(Decoder::reference, stream, withProgress, stopAt);
  if (program.status != 0 && program.status != 1)
    return ::testing::AssertionFailure() << "the program's decoder crashed: status " << program.status;
  if (program.status != reference.status)
    return ::testing::AssertionFailure() << "status " << program.status << ", the reference's " << reference.status;
  if (program.calls != reference.calls)
    return ::testing::AssertionFailure() << program.calls.size() << " progress calls, the reference made "
                                         << reference.calls.size();
  if (program.status != 0) return ::testing::AssertionSuccess();
  if (program.result != reference.result || program.bitsWritten != reference.bitsWritten ||
      program.bitsRead != reference.bitsRead) {
    return ::testing::AssertionFailure() << "result " << program.result << ", bits written " << program.bitsWritten
                                         << ", bits read " << program.bitsRead << "; the reference's "
                                         << reference.result << ", " << reference.bitsWritten << ", "
                                         << reference.bitsRead;
  }
  if (program.text != reference.text)
    return ::testing::AssertionFailure() << program.text.size() << " bytes differ from the reference's "
                                         << reference.text.size();
  return ::testing::AssertionSuccess();
}

std::string pseudoRandom(size_t count, uint32_t seed) {
  std::string bytes;
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    bytes.push_back(static_cast<char>(seed >> 24));
  }
  return bytes;
}

std::vector<uint8_t> packed(const std::string& content) {
  std::vector<uint8_t> stream;
  std::string error;
  EXPECT_TRUE(encodeStream(reinterpret_cast<const uint8_t*>(content.data()), content.size(), ParseOptions(), &stream,
                           &error))
      << error;
  return stream;
}

}  // namespace

TEST_F(DecompressorTest, TheTableDecoderMatchesTheTreeWalkOnEveryKindOfContent) {
  // Text with repeats far and near, across several slides of the buffer.
  std::string text;
  const char* words[] = {"velk ", "modular ", "oscillator ", "filter ", "envelope ", "patch ", "\r\n"};
  for (uint32_t i = 0, seed = 7; text.size() < 90000; ++i) {
    seed = seed * 1103515245u + 12345u;
    text += words[(seed >> 16) % 7];
  }
  // Literal frequencies that halve from letter to letter: codes of up to
  // 15 bits, past the literal table's width.
  std::string skewed;
  for (int letter = 0; letter < 16; ++letter) skewed += std::string(size_t{1} << letter, static_cast<char>('a' + letter));
  std::string shuffled = skewed;
  for (size_t i = shuffled.size() - 1, seed = 3; i > 0; --i) {
    seed = seed * 1103515245u + 12345u;
    std::swap(shuffled[i], shuffled[(seed >> 8) % (i + 1)]);
  }
  // Runs and short periods: the copies nearer than a word.
  std::string periods = std::string(5000, 'A');
  for (const char* period : {"ab", "abc", "abcdefg", "abcdefgh", "abcdefghi"})
    for (int i = 0; i < 900; ++i) periods += period;
  // 9000 symbols of which the last has only 3 bits.
  std::vector<Item> shortLast;
  for (int i = 0; i < 8999; ++i) shortLast.push_back(literal(static_cast<char>('a' + i % 5)));
  shortLast.push_back(literal(5));

  const std::vector<std::vector<uint8_t>> streams = {packed(text), packed(pseudoRandom(5000, 11)), packed(shuffled),
                                                     packed(periods), streamOf(shortLast, 8999 * 8 + 3)};
  for (size_t i = 0; i < streams.size(); ++i) {
    EXPECT_TRUE(decodeAlike(streams[i], false)) << "stream " << i;
    Outcome all = decodeIsolated(Decoder::program, streams[i], true, 0);
    ASSERT_EQ(all.status, 0) << "stream " << i;
    ASSERT_FALSE(all.calls.empty());
    int32_t calls = static_cast<int32_t>(all.calls.size());
    for (int32_t stopAt : {0, 1, calls / 2 + 1, calls}) EXPECT_TRUE(decodeAlike(streams[i], true, stopAt)) << "stream " << i << ", stop at " << stopAt;
  }
}

// Every truncation and every flipped bit of a real stream ends in both
// decoders alike: decoded, or the internal error after the same progress
// calls. Never a signal, never a hang.
TEST_F(DecompressorTest, DamagedStreamsEndAlikeInBothDecodersAndNeverCrash) {
  std::vector<Item> items = {literal('V'), literal('e'), literal('l'), literal('k'), literal(' '), match(5, 5),
                             match(64, 1), literal('!'), match(12, 70)};
  for (int i = 0; i < 7; ++i) items.push_back(match(64, 9 + 10 * i));
  std::vector<uint8_t> stream = streamOf(items);
  for (size_t length = 0; length < stream.size(); ++length) {
    std::vector<uint8_t> truncated(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_TRUE(decodeAlike(truncated, true)) << "cut at " << length;
  }
  for (size_t bit = 0; bit < stream.size() * 8; ++bit) {
    std::vector<uint8_t> flipped = stream;
    flipped[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
    EXPECT_TRUE(decodeAlike(flipped, true)) << "bit " << bit;
  }
}

// The packer's encoder and entry builder against the program's own reader and
// decoder: awkward contents round-trip byte for byte, names and sizes the
// format cannot carry are refused with a reason, and the output is
// reproducible.
#include <cstdint>
#include <string>
#include <vector>

#include "payload/catalogue.h"
#include "payload/decompressor.h"
#include "sim_fixture.h"
#include "vmpack/entry_builder.h"
#include "vmpack/byte_sink.h"
#include "vmpack/entry_reader.h"
#include "vmpack/stream_encoder.h"

using VmpackEncoderTest = SimTest;

namespace {

typedef std::vector<std::pair<std::string, std::string>> Files;

std::string randomBytes(size_t count, uint32_t seed) {
  std::string bytes;
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    bytes.push_back(static_cast<char>(seed >> 24));
  }
  return bytes;
}

// Builds an entry, reads it back through the program's catalogue reader and
// decoder, and compares every file.
std::vector<uint8_t> roundTrip(const std::vector<std::string>& folders, const Files& files) {
  std::vector<uint8_t> entry = makeEntry(folders, files, 0x01D5A0B1C2D3E4F5ull);
  EntryCatalogue catalogue;
  std::string problem;
  EXPECT_TRUE(readEntryCatalogue(entry, &catalogue, &problem)) << problem;
  EXPECT_EQ(catalogue.folders, folders);
  std::vector<uint8_t> content;
  EXPECT_TRUE(decodeEntryContents(entry, catalogue, &content, &problem)) << problem;
  size_t offset = 0;
  EXPECT_EQ(catalogue.files.size(), files.size());
  for (size_t i = 0; i < files.size() && i < catalogue.files.size(); ++i) {
    const CatalogueFile& file = catalogue.files[i];
    EXPECT_EQ(std::string(file.name), files[i].first);
    EXPECT_EQ(file.time, 0x01D5A0B1C2D3E4F5ull);
    EXPECT_EQ(std::string(content.begin() + offset, content.begin() + offset + file.size), files[i].second)
        << files[i].first;
    offset += static_cast<size_t>(file.size);
  }
  return entry;
}

std::vector<Item> itemsFor(const std::string& data) {
  return chooseItems(reinterpret_cast<const uint8_t*>(data.data()), data.size(), ParseOptions());
}

std::string buildError(const std::vector<std::string>& folders, const Files& files) {
  EntryContents contents;
  contents.folders = folders;
  for (const auto& file : files) contents.files.push_back(EntryFile{file.first, {file.second.begin(), file.second.end()}, 0});
  std::vector<uint8_t> entry;
  std::string error;
  EXPECT_FALSE(buildEntry(contents, ParseOptions(), &entry, &error));
  return error;
}

}  // namespace

TEST_F(VmpackEncoderTest, SingleSymbolAlphabetsAndStreamsWithoutMatchesRoundTrip) {
  roundTrip({}, {{"a.txt", "a"}, {"run.bin", std::string(5000, 'A')}});
  // Every byte value once: no pair of bytes repeats, so there is nothing to
  // copy and both match codes are sent empty.
  std::string distinct;
  for (int i = 0; i < 256; ++i) distinct.push_back(static_cast<char>(i));
  std::vector<Item> items = itemsFor(distinct);
  SymbolCounts counts = countSymbols(items);
  StreamCodes codes = buildStreamCodes(counts);
  EXPECT_EQ(counts.matches, 0u);
  EXPECT_EQ(codes.distanceHighs.codedCount, 0);
  EXPECT_EQ(codes.lengths.codedCount, 0);
  roundTrip({}, {{"distinct.bin", distinct}, {"noise.bin", randomBytes(3000, 7)}});

  // One run: the literal alphabet and the distance alphabet hold one symbol.
  counts = countSymbols(itemsFor(std::string(5000, 'A')));
  codes = buildStreamCodes(counts);
  EXPECT_EQ(codes.literals.codedCount, 1);
  EXPECT_EQ(codes.distanceHighs.codedCount, 1);
}

TEST_F(VmpackEncoderTest, FifteenBitLiteralCodesRoundTripThroughTheDecoder) {
  // Bytes with Fibonacci frequencies, sent as literals only, need the
  // length limit.
  std::string data;
  uint64_t a = 1, b = 1;
  for (int s = 0; s < 24; ++s) {
    data += std::string(static_cast<size_t>(a), static_cast<char>(s + 1));
    uint64_t next = a + b;
    a = b;
    b = next;
  }
  std::vector<Item> items;
  for (char c : data) items.push_back(Item{0, static_cast<uint8_t>(c)});
  SymbolCounts counts = countSymbols(items);
  StreamCodes codes = buildStreamCodes(counts);
  int longest = 0;
  for (int length : codes.literals.lengths) longest = length > longest ? length : longest;
  EXPECT_EQ(longest, 15);
  std::vector<uint8_t> stream = writeStream(static_cast<int32_t>(data.size() * 8), items, codes);
  MemoryBitSource source(stream.data(), stream.data() + stream.size());
  ByteSink sink;
  Decompressor decompressor;
  EXPECT_EQ(decompressor.decodeStream(source, sink, nullptr), 1);
  sink.flushByte();
  EXPECT_EQ(std::string(sink.bytes().begin(), sink.bytes().end()), data);
}

TEST_F(VmpackEncoderTest, UsesTheFarthestDistanceAndTheLongestMatch) {
  std::string block = randomBytes(8192, 99);
  std::string data = block + block.substr(0, 64) + randomBytes(100, 5);
  bool farthest = false;
  for (const Item& item : itemsFor(data)) farthest = farthest || (item.length == 64 && item.value == 8192);
  EXPECT_TRUE(farthest);
  roundTrip({}, {{"far.bin", data}});
  // A repeat one byte too far cannot be copied.
  std::string tooFar = block + "x" + block.substr(0, 64);
  for (const Item& item : itemsFor(tooFar)) EXPECT_LE(item.value, item.length == 0 ? 255 : 8192);
  roundTrip({}, {{"far.bin", tooFar}});
}

TEST_F(VmpackEncoderTest, MatchesReachBackAcrossFileBoundaries) {
  std::string text = randomBytes(4000, 3);
  std::vector<uint8_t> two = roundTrip({}, {{"one.bin", text}, {"two.bin", text}});
  std::vector<uint8_t> one = roundTrip({}, {{"one.bin", text}});
  // The second copy costs a few matches, not another 4000 random bytes.
  EXPECT_LT(two.size(), one.size() + 300);
}

TEST_F(VmpackEncoderTest, FilesAtClusterEdgesAndTheLongestNameRoundTrip) {
  std::string longName = std::string(250, 'n') + "\\" + std::string(8, 'm');
  ASSERT_EQ(longName.size(), 259u);
  roundTrip({std::string(250, 'n')}, {{"tiny", "1"},
                                      {"exact.bin", randomBytes(32768, 1)},
                                      {"over.bin", randomBytes(32769, 2)},
                                      {longName, "longest name"}});
}

TEST_F(VmpackEncoderTest, RefusesWhatTheFormatOrWindowsCannotCarry) {
  EXPECT_NE(buildError({}, {{std::string(260, 'n'), "x"}}).find("260"), std::string::npos);
  EXPECT_NE(buildError({}, {{"empty.txt", ""}}).find("empty"), std::string::npos);
  EXPECT_NE(buildError({"a\\b"}, {}).find("before its parent"), std::string::npos);
  EXPECT_NE(buildError({"Docs", "DOCS"}, {}).find("twice"), std::string::npos);
  EXPECT_NE(buildError({}, {{"Read.me", "1"}, {"READ.ME", "2"}}).find("twice"), std::string::npos);
  for (const char* name : {"a:b", "a<b", "a>b", "a\"b", "a|b", "a?b", "a*b", "a/b", "tab\there", "x\\..\\y", ".\\y",
                           "\\lead", "trail\\", "a\\\\b", "dot.", "space ", "con", "LPT1.txt", "Aux.doc"}) {
    EXPECT_FALSE(nameProblem(name).empty()) << name;
  }
  for (const char* name : {"plain.txt", "with space.txt", "Sub\\dir\\file", "caf\xE9.txt", "console", "..hidden"}) {
    EXPECT_TRUE(nameProblem(name).empty()) << name << ": " << nameProblem(name);
  }
}

TEST_F(VmpackEncoderTest, ContentParsedInSegmentsStillCopiesAcrossTheirEdges) {
  // Large contents are parsed a segment at a time; here a tiny segment size
  // puts many edges into a small stream, with repeats reaching over them.
  std::string phrase = randomBytes(700, 11);
  std::string data;
  for (int i = 0; i < 8; ++i) data += phrase + randomBytes(50, static_cast<uint32_t>(i));
  ParseOptions options;
  options.segmentBytes = 1000;
  std::vector<uint8_t> stream;
  std::string error;
  ASSERT_TRUE(encodeStream(reinterpret_cast<const uint8_t*>(data.data()), data.size(), options, &stream, &error));
  EXPECT_LT(stream.size(), 700u + 8 * 50 + 600);
  MemoryBitSource source(stream.data(), stream.data() + stream.size());
  ByteSink sink;
  Decompressor decompressor;
  EXPECT_EQ(decompressor.decodeStream(source, sink, nullptr), 1);
  sink.flushByte();
  EXPECT_EQ(std::string(sink.bytes().begin(), sink.bytes().end()), data);
}

TEST_F(VmpackEncoderTest, TheSameContentsGiveTheSameEntry) {
  Files files = {{"a.txt", "alpha alpha alpha"}, {"b\\c.bin", randomBytes(20000, 4)}};
  EXPECT_EQ(makeEntry({"b"}, files), makeEntry({"b"}, files));
}

TEST_F(VmpackEncoderTest, TheReaderRefusesDamageTheProgramWouldNotNotice) {
  std::vector<uint8_t> entry = makeEntry({}, {{"a.txt", "hello hello hello"}});
  EntryCatalogue catalogue;
  std::string problem;
  std::vector<uint8_t> truncated(entry.begin(), entry.end() - 1);
  EXPECT_FALSE(readEntryCatalogue(truncated, &catalogue, &problem));
  std::vector<uint8_t> flipped = entry;
  flipped[flipped.size() - 2] ^= 1;
  EXPECT_FALSE(readEntryCatalogue(flipped, &catalogue, &problem));
  EXPECT_NE(problem.find("checksum"), std::string::npos);
}

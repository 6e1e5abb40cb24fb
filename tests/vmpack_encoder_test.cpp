// The packer's encoder and entry builder against the program's own reader and
// decoder: awkward contents round-trip byte for byte, names and sizes the
// format cannot carry are refused with a reason, and the output is
// reproducible.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "payload/catalogue.h"
#include "payload/decompressor.h"
#include "sim_fixture.h"
#include "vmpack/entry_builder.h"
#include "vmpack/byte_sink.h"
#include "vmpack/entry_reader.h"
#include "vmpack/parse.h"
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

std::string decodedStream(const std::vector<uint8_t>& stream) {
  MemoryBitSource source(stream.data(), stream.data() + stream.size());
  ByteSink sink;
  Decompressor decompressor;
  EXPECT_EQ(decompressor.decodeStream(source, sink, nullptr), 1);
  sink.flushByte();
  return std::string(sink.bytes().begin(), sink.bytes().end());
}

std::vector<uint8_t> packedStream(const std::string& data, const ParseOptions& options) {
  std::vector<uint8_t> stream;
  std::string error;
  EXPECT_TRUE(encodeStream(reinterpret_cast<const uint8_t*>(data.data()), data.size(), options, &stream, &error))
      << error;
  return stream;
}

// What a packer meets: words of a small vocabulary in lines, repeated
// phrases near and beyond the window, records of a binary, runs of zeros
// longer than a match, and noise.
std::string mixedContent(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"the ", "setup ", "program ", "installs ", "files ", "into ", "a ",
                                       "folder ", "licence ", "of ", "synthesizer ", "modules\n"};
  std::string data;
  while (data.size() < size) {
    seed = seed * 1664525u + 1013904223u;
    switch (seed >> 29) {
      case 0:
      case 1:
      case 2:
        for (int i = 0; i < 40; ++i) data += kWords[(seed >> (i % 24)) % 12];
        break;
      case 3:
        if (data.size() > 9000) data += data.substr(data.size() - 9000 + (seed >> 20) % 1000, 300);
        break;
      case 4:
        for (uint32_t i = 0; i < 64; ++i) data += std::string{'R', static_cast<char>(i), 0, 0, static_cast<char>(seed >> 24)};
        break;
      case 5:
        data += std::string(70 + (seed >> 24), '\0');
        break;
      default:
        data += randomBytes(200, seed);
    }
  }
  data.resize(size);
  return data;
}

const uint8_t* bytesOf(const std::string& data) { return reinterpret_cast<const uint8_t*>(data.data()); }

// The plain versions of the packer's search and parse, which the fast ones
// must agree with. For a position, every earlier one in the window, nearest
// first, where it makes a longer match than all nearer ones; as text, the
// nearest match and those of four bytes or more ("length@distance ").
std::string improvingMatches(const std::string& data, size_t at) {
  std::string found;
  size_t limit = std::min(static_cast<size_t>(kLongestMatch), data.size() - at);
  size_t best = 1;
  for (size_t distance = 1; distance <= static_cast<size_t>(kFarthestMatch) && distance <= at; ++distance) {
    size_t length = 0;
    while (length < limit && data[at - distance + length] == data[at + length]) ++length;
    if (length > best && (best == 1 || length >= 4)) found += std::to_string(length) + "@" + std::to_string(distance) + " ";
    best = std::max(best, length);
  }
  return found;
}

// The cheapest path, its costs summed in 64 bits.
std::vector<Item> plainCheapestItems(const std::string& data, const MatchTable& table, const ItemCosts& costs) {
  std::vector<uint64_t> cost(data.size() + 1, UINT64_MAX);
  std::vector<Item> step(data.size() + 1);
  cost[0] = 0;
  auto relax = [&](size_t to, uint64_t total, Item item) {
    if (total < cost[to]) {
      cost[to] = total;
      step[to] = item;
    }
  };
  for (size_t i = 0; i < data.size(); ++i) {
    uint8_t byte = static_cast<uint8_t>(data[i]);
    relax(i + 1, cost[i] + costs.literal[byte], Item{0, byte});
    size_t count = 0;
    const Match* matches = table.at(i, &count);
    for (size_t j = count; j-- > 0;) {
      // A length may copy from any match at least that long: the cheapest
      // distance among them, the longest match's on a tie.
      size_t cheapest = count - 1;
      for (size_t k = count - 1; k-- > j;) {
        if (costs.distanceHigh[(matches[k].distance - 1) >> kLowDistanceBits] <
            costs.distanceHigh[(matches[cheapest].distance - 1) >> kLowDistanceBits]) {
          cheapest = k;
        }
      }
      uint64_t base = cost[i] + costs.distanceHigh[(matches[cheapest].distance - 1) >> kLowDistanceBits];
      for (size_t length = j > 0 ? matches[j - 1].length + 1 : 2; length <= matches[j].length; ++length) {
        relax(i + length, base + costs.length[length - 1], Item{static_cast<uint16_t>(length), matches[cheapest].distance});
      }
    }
  }
  std::vector<Item> items;
  for (size_t at = data.size(); at > 0; at -= std::max<size_t>(step[at].length, 1)) items.push_back(step[at]);
  std::reverse(items.begin(), items.end());
  return items;
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
  // Large contents are parsed a segment at a time, under costs refined over
  // sample blocks; here tiny segments and blocks put many edges into a small
  // stream, with repeats reaching over them.
  std::string phrase = randomBytes(700, 11);
  std::string data;
  for (int i = 0; i < 8; ++i) data += phrase + randomBytes(50, static_cast<uint32_t>(i));
  ParseOptions options;
  options.segmentBytes = 1000;
  options.sampleSpacing = 1500;
  options.sampleBlockBytes = 400;
  std::vector<uint8_t> stream = packedStream(data, options);
  EXPECT_LT(stream.size(), 700u + 8 * 50 + 600);
  EXPECT_EQ(decodedStream(stream), data);
}

TEST_F(VmpackEncoderTest, EveryLevelRoundTripsAndTheDefaultPacksAsSmallAsTheThoroughParse) {
  // Enough content for the costs to be refined over sample blocks.
  std::string data = mixedContent(300000, 5);
  // Every earlier occurrence looked at, every position searched and parsed,
  // every pass over the whole content.
  ParseOptions thorough;
  thorough.search.depthLimit = 1 << 30;
  thorough.search.coverLength = kLongestMatch + 1;
  thorough.sampleSpacing = data.size();
  thorough.samplePasses = 20;
  ParseOptions inSegments;
  inSegments.segmentBytes = 50000;
  std::vector<size_t> sizes;
  for (const ParseOptions& options : {parseOptionsForLevel(1), parseOptionsForLevel(2), parseOptionsForLevel(kBestLevel),
                                      thorough, inSegments}) {
    std::vector<uint8_t> stream = packedStream(data, options);
    EXPECT_TRUE(decodedStream(stream) == data) << "options " << sizes.size();
    sizes.push_back(stream.size());
  }
  EXPECT_EQ(packedStream(data, ParseOptions()).size(), sizes[2]);
  EXPECT_LE(sizes[2], sizes[0]);
  EXPECT_LE(sizes[2], sizes[3] + sizes[3] / 200);
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

TEST_F(VmpackEncoderTest, TheMatchTreeAndTheWrappingCostsAgreeWithThePlainSearchAndParse) {
  // Past the window, so that the farthest matches are among them.
  std::string data = mixedContent(9500, 3);
  MatchSearch everything;
  everything.depthLimit = 1 << 30;
  everything.coverLength = kLongestMatch + 1;
  MatchTable table;
  findMatches(bytesOf(data), 0, data.size(), everything, &table);
  for (size_t at = 0; at < data.size(); ++at) {
    size_t count = 0;
    const Match* matches = table.at(at, &count);
    // A three-byte match may be missed where another took over its hash;
    // every match found is real.
    std::string found;
    for (size_t j = 0; j < count; ++j) {
      size_t from = at - matches[j].distance;
      ASSERT_LE(matches[j].distance, at);
      ASSERT_EQ(data.compare(from, matches[j].length, data, at, matches[j].length), 0) << at;
      if (j == 0 || matches[j].length >= 4) found += std::to_string(matches[j].length) + "@" + std::to_string(matches[j].distance) + " ";
    }
    ASSERT_EQ(found, improvingMatches(data, at)) << "position " << at;
  }

  // Costs as the parse takes them, the second set so dear that the sums wrap
  // many times over.
  findMatches(bytesOf(data), 0, data.size(), MatchSearch(), &table);
  for (uint32_t dearness : {8u, 40u}) {
    ItemCosts costs{};
    for (uint32_t s = 0; s < 256; ++s) costs.literal[s] = ((dearness + s % 9) << kCostFractionBits) + s * 977;
    for (uint32_t s = 0; s < 64; ++s) {
      costs.distanceHigh[s] = ((dearness + 4 + s % 5) << kCostFractionBits) + s * 3001;
      costs.length[s] = ((2 + s % 7) << kCostFractionBits) + s * 1237;
    }
    PathScratch scratch;
    std::vector<Item> items;
    cheapestItems(bytesOf(data), 0, data.size(), table, costs, &scratch, &items);
    std::vector<Item> plain = plainCheapestItems(data, table, costs);
    ASSERT_EQ(items.size(), plain.size()) << dearness;
    for (size_t i = 0; i < items.size(); ++i) {
      ASSERT_TRUE(items[i].length == plain[i].length && items[i].value == plain[i].value) << dearness << " item " << i;
    }
  }
}

// Chooses the literals and matches that encode a byte string in the fewest
// bits under the stream's one set of prefix codes.
//
// The parse is optimal for given symbol costs (a shortest path over the byte
// positions), and the costs come from the symbol counts of the parse before:
// parse, count, parse again, keeping the smallest result. The rounds run over
// a sample of the content first, then over all of it.
#ifndef VM_TOOLS_VMPACK_PARSE_H
#define VM_TOOLS_VMPACK_PARSE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vmpack/match_finder.h"
#include "vmpack/prefix_code.h"

// A literal (length 0, value = the byte) or a match (length 1 to 64, value =
// the distance, 1 to 8192).
struct Item {
  uint16_t length;
  uint16_t value;
};

// How often each symbol of the three alphabets is used.
struct SymbolCounts {
  std::vector<uint64_t> literals = std::vector<uint64_t>(256, 0);
  std::vector<uint64_t> distanceHighs = std::vector<uint64_t>(64, 0);
  std::vector<uint64_t> lengths = std::vector<uint64_t>(64, 0);
  uint64_t items = 0;
  uint64_t matches = 0;
};

SymbolCounts countSymbols(const std::vector<Item>& items);

// The three codes that encode those counts.
struct StreamCodes {
  PrefixCode literals;
  PrefixCode distanceHighs;
  PrefixCode lengths;
};
StreamCodes buildStreamCodes(const SymbolCounts& counts);

// Bits of the whole stream: header, descriptions and items, without padding.
uint64_t streamBits(const SymbolCounts& counts, const StreamCodes& codes);

struct ParseOptions {
  MatchSearch search;
  // The costs are refined over a sample: at most sampleBlocks blocks of
  // sampleBlockBytes, at least sampleSpacing apart, spread over the content.
  size_t sampleBlockBytes = size_t{32} << 10;
  size_t sampleSpacing = size_t{128} << 10;
  size_t sampleBlocks = 128;
  int samplePasses = 10;  // parses of the sample under refined costs, at most
  int wholePasses = 10;   // parses of the whole content after the sample, at most
  size_t segmentBytes = size_t{16} << 20;  // bytes whose matches are held at once
};

// The packer's levels, from 1 (fastest) to kBestLevel (smallest entries, the
// default).
constexpr int kBestLevel = 3;
ParseOptions parseOptionsForLevel(int level);

std::vector<Item> chooseItems(const uint8_t* data, size_t size, const ParseOptions& options);

// What the parse takes each item to cost, in 1/65536 bits: a literal by its
// byte, a match by its distance's high part (with the flag and the plain low
// bits) plus its length.
constexpr int kCostFractionBits = 16;
struct ItemCosts {
  uint32_t literal[256];
  uint32_t distanceHigh[64];
  uint32_t length[64];
};

// The cheapest items for positions [begin, end) under those costs, a step
// being a literal or any length up to one of the table's matches; appended to
// `items`. The scratch vectors are the path's working memory, kept between
// calls so that a pass does not fault the memory in again.
struct PathScratch {
  std::vector<uint32_t> cost;
  std::vector<uint32_t> step;
};
void cheapestItems(const uint8_t* data, size_t begin, size_t end, const MatchTable& table, const ItemCosts& costs,
                   PathScratch* scratch, std::vector<Item>* items);

#endif  // VM_TOOLS_VMPACK_PARSE_H

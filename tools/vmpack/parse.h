// Chooses the literals and matches that encode a byte string in the fewest
// bits under the stream's one set of prefix codes.
//
// The parse is optimal for given symbol costs (a shortest path over the byte
// positions), and the costs come from the code lengths of the parse before:
// parse, build the codes, parse again, keeping the smallest result.
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
  int passes = 10;  // parses under refined costs, at most
  size_t segmentBytes = size_t{16} << 20;  // bytes whose matches are held at once
};

std::vector<Item> chooseItems(const uint8_t* data, size_t size, const ParseOptions& options);

#endif  // VM_TOOLS_VMPACK_PARSE_H

#include "vmpack/parse.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/fatal.h"
#include "payload/decompressor.h"

namespace {

constexpr int kFlagBits = 1;

int distanceHigh(int distance) { return (distance - 1) >> kLowDistanceBits; }

// The parse's costs in double precision first: -log2(p) of each symbol.
struct Costs {
  double literal[256];
  double distanceHigh[64];
  double length[64];
};

// What a symbol would cost under a code fitted to these counts: its share of
// the bits, -log2(p). A symbol the parse did not use costs as much as one
// used half a time, so that a parse may still take it where it saves more.
// Fractional costs steer the next parse slightly better than the whole-bit
// lengths of the code they approximate.
void costsFromCounts(const std::vector<uint64_t>& counts, double* costs) {
  uint64_t total = 0;
  for (uint64_t count : counts) total += count;
  double bits = std::log2(static_cast<double>(total > 0 ? total : 1));
  for (size_t s = 0; s < counts.size(); ++s) {
    costs[s] = counts[s] > 0 ? bits - std::log2(static_cast<double>(counts[s])) : bits + 1;
  }
}

// The dearest any one part of an item is priced: more than any code or
// count of this format can make a symbol cost (a 2^31-symbol stream prices an
// unused symbol at 32 bits), so it bounds the fixed-point sums below.
constexpr double kDearestPartBits = 48;

uint32_t fixedCost(double bits) {
  double clamped = bits < kDearestPartBits ? bits : kDearestPartBits;
  return static_cast<uint32_t>(std::lround(clamped * (1 << kCostFractionBits)));
}

ItemCosts fixedCosts(const Costs& costs) {
  ItemCosts fixed{};
  for (int s = 0; s < 256; ++s) fixed.literal[s] = fixedCost(costs.literal[s] + kFlagBits);
  for (int s = 0; s < 64; ++s) {
    fixed.distanceHigh[s] = fixedCost(costs.distanceHigh[s] + kFlagBits + kLowDistanceBits);
    fixed.length[s] = fixedCost(costs.length[s]);
  }
  return fixed;
}

ItemCosts costsFromCounts(const SymbolCounts& counts) {
  Costs costs;
  costsFromCounts(counts.literals, costs.literal);
  costsFromCounts(counts.distanceHighs, costs.distanceHigh);
  costsFromCounts(counts.lengths, costs.length);
  return fixedCosts(costs);
}

// Before any parse: literals priced by the bytes' own frequencies, every
// distance and length alike, which makes the first parse take long matches.
ItemCosts firstCosts(const uint8_t* data, size_t size) {
  std::vector<uint64_t> histogram(256, 0);
  for (size_t i = 0; i < size; ++i) ++histogram[data[i]];
  Costs costs;
  for (int s = 0; s < 256; ++s) {
    double p = histogram[s] > 0 ? static_cast<double>(histogram[s]) / static_cast<double>(size) : 0.5 / size;
    costs.literal[s] = -std::log2(p);
  }
  for (double& c : costs.distanceHigh) c = 6;
  for (double& c : costs.length) c = 6;
  return fixedCosts(costs);
}

// The path's costs are kept modulo 2^32 and compared by the sign of their
// difference, which is exact while the two differ by less than 2^31. Two
// costs compared are both ways of reaching one position from at most a
// longest match back; the cheapest costs of positions that close differ by at
// most that many dearest literals (64 * 49 bits, under 2^28 in 1/65536 bits),
// so the sums may wrap over a stream of any length. A position not yet
// reached holds kUnreached more than the cost of the position a longest match
// before it, which every real step beats and which stays within 2^31 of each.
constexpr uint32_t kUnreached = 1u << 30;

bool cheaper(uint32_t candidate, uint32_t current) { return static_cast<int32_t>(candidate - current) < 0; }

}  // namespace

void cheapestItems(const uint8_t* data, size_t begin, size_t end, const MatchTable& table, const ItemCosts& costs,
                   PathScratch* scratch, std::vector<Item>* items) {
  size_t n = end - begin;
  if (scratch->cost.size() < n + 1) {
    scratch->cost.resize(n + 1);
    scratch->step.resize(n + 1);
  }
  uint32_t* cost = scratch->cost.data();
  uint32_t* step = scratch->step.data();
  // A position starts out unreached when the first position that can reach
  // it is passed.
  const size_t reach = kLongestMatch;
  cost[0] = 0;
  for (size_t j = 1; j <= n && j < reach; ++j) cost[j] = kUnreached;
  for (size_t i = 0; i < n; ++i) {
    uint32_t here = cost[i];
    if (i + reach <= n) cost[i + reach] = here + kUnreached;
    uint8_t byte = data[begin + i];
    uint32_t literal = here + costs.literal[byte];
    if (cheaper(literal, cost[i + 1])) {
      cost[i + 1] = literal;
      step[i + 1] = static_cast<uint32_t>(byte) << 16;
    }
    size_t count = 0;
    const Match* matches = table.at(begin + i, &count);
    // For a length, every found match at least that long can serve; take the
    // one whose distance is cheapest, walking from the longest match down.
    uint32_t bestDistance = 0xFFFFFFFFu;
    uint32_t bestDistanceStep = 0;
    for (size_t j = count; j-- > 0;) {
      uint32_t distanceCost = costs.distanceHigh[distanceHigh(matches[j].distance)];
      // Without branches, which would guess wrong half of the time here.
      bool nearer = distanceCost < bestDistance;
      bestDistance = nearer ? distanceCost : bestDistance;
      bestDistanceStep = nearer ? static_cast<uint32_t>(matches[j].distance) << 16 : bestDistanceStep;
      size_t shortest = j > 0 ? matches[j - 1].length + 1 : 2;
      size_t longest = matches[j].length;
      // A sample block ends where the content goes on.
      if (longest > n - i) longest = n - i;
      uint32_t base = here + bestDistance;
      for (size_t length = shortest; length <= longest; ++length) {
        uint32_t total = base + costs.length[length - 1];
        bool better = cheaper(total, cost[i + length]);
        cost[i + length] = better ? total : cost[i + length];
        step[i + length] = better ? bestDistanceStep | static_cast<uint32_t>(length) : step[i + length];
      }
    }
  }
  size_t first = items->size();
  for (size_t at = n; at > 0;) {
    Item item{static_cast<uint16_t>(step[at] & 0xFFFF), static_cast<uint16_t>(step[at] >> 16)};
    items->push_back(item);
    at -= item.length == 0 ? 1 : item.length;
  }
  std::reverse(items->begin() + static_cast<std::ptrdiff_t>(first), items->end());
}

SymbolCounts countSymbols(const std::vector<Item>& items) {
  SymbolCounts counts;
  for (const Item& item : items) {
    ++counts.items;
    if (item.length == 0) {
      ++counts.literals[item.value];
    } else {
      ++counts.matches;
      ++counts.distanceHighs[distanceHigh(item.value)];
      ++counts.lengths[item.length - 1];
    }
  }
  return counts;
}

StreamCodes buildStreamCodes(const SymbolCounts& counts) {
  return StreamCodes{buildPrefixCode(counts.literals), buildPrefixCode(counts.distanceHighs),
                     buildPrefixCode(counts.lengths)};
}

uint64_t streamBits(const SymbolCounts& counts, const StreamCodes& codes) {
  uint64_t bits = kTotalBitsFieldBits + descriptionBits(codes.literals, kEntrySymbolBits) +
                  descriptionBits(codes.distanceHighs, kDistanceSymbolBits) +
                  descriptionBits(codes.lengths, kLengthSymbolBits);
  bits += counts.items * kFlagBits + counts.matches * kLowDistanceBits;
  for (int s = 0; s < 256; ++s) {
    if (counts.literals[s] > 0) bits += counts.literals[s] * codes.literals.lengths[s];
  }
  for (int s = 0; s < 64; ++s) {
    if (counts.distanceHighs[s] > 0) bits += counts.distanceHighs[s] * codes.distanceHighs.lengths[s];
    if (counts.lengths[s] > 0) bits += counts.lengths[s] * codes.lengths.lengths[s];
  }
  return bits;
}

namespace {

// One round of refinement: the items of a parse under `costs`, kept in `best`
// when they make the smallest stream yet, and then `costs` become those of
// this parse. Returns how far the parse gained on the best before it, in
// parts of the stream (negative for a loss), and in `mispriced` how far the
// costs it was parsed under overcharged its own symbols: what another parse
// under its costs may still gain, give or take.
double refine(std::vector<Item>* items, ItemCosts* costs, uint64_t* bestBits, std::vector<Item>* best,
              double* mispriced) {
  SymbolCounts counts = countSymbols(*items);
  uint64_t bits = streamBits(counts, buildStreamCodes(counts));
  ItemCosts own = costsFromCounts(counts);
  double overcharged = 0;
  for (int s = 0; s < 256; ++s) {
    overcharged += static_cast<double>(counts.literals[s]) * (static_cast<double>(costs->literal[s]) - own.literal[s]);
  }
  for (int s = 0; s < 64; ++s) {
    overcharged +=
        static_cast<double>(counts.distanceHighs[s]) * (static_cast<double>(costs->distanceHigh[s]) - own.distanceHigh[s]) +
        static_cast<double>(counts.lengths[s]) * (static_cast<double>(costs->length[s]) - own.length[s]);
  }
  *mispriced = overcharged / (1 << kCostFractionBits) / static_cast<double>(bits);
  double gain = *bestBits == std::numeric_limits<uint64_t>::max()
                    ? 1
                    : (static_cast<double>(*bestBits) - static_cast<double>(bits)) / static_cast<double>(*bestBits);
  if (bits < *bestBits) {
    *bestBits = bits;
    best->swap(*items);
  }
  *costs = own;
  return gain;
}

}  // namespace

std::vector<Item> chooseItems(const uint8_t* data, size_t size, const ParseOptions& options) {
  std::vector<Item> best;
  if (size == 0) return best;
  ItemCosts costs = firstCosts(data, size);
  PathScratch scratch;
  // Content of one segment has its matches found once, for every pass;
  // longer content has them found per segment and pass, and per block of the
  // sample.
  size_t segmentBytes = options.segmentBytes > 0 ? options.segmentBytes : size;
  bool oneSegment = size <= segmentBytes;
  MatchTable table;
  if (oneSegment) findMatches(data, 0, size, options.search, &table);
  // The costs are refined over a sample of the content: blocks spread evenly
  // over all of it, each parsed on its own, so that every kind of file in a
  // large entry has its say in the one set of codes. Content too short for
  // two blocks is its own sample, and its best parse is the answer.
  ENSURE(options.samplePasses >= 1 && options.wholePasses >= 1 && options.sampleSpacing > 0);
  size_t blocks = size / options.sampleSpacing;
  if (blocks > options.sampleBlocks) blocks = options.sampleBlocks;
  if (blocks < 2) blocks = 1;
  size_t spacing = size / blocks;
  size_t blockBytes = blocks == 1 || options.sampleBlockBytes > spacing ? spacing : options.sampleBlockBytes;
  std::vector<MatchTable> blockTables(oneSegment ? 0 : blocks);
  for (size_t b = 0; b < blockTables.size(); ++b) {
    findMatches(data, b * spacing, b * spacing + blockBytes, options.search, &blockTables[b]);
  }
  uint64_t bestBits = std::numeric_limits<uint64_t>::max();
  std::vector<Item> bestSample;
  for (int pass = 0; pass < options.samplePasses; ++pass) {
    std::vector<Item> items;
    for (size_t b = 0; b < blocks; ++b) {
      cheapestItems(data, b * spacing, b * spacing + blockBytes, oneSegment ? table : blockTables[b], costs, &scratch,
                    &items);
    }
    // Passes over the sample are cheap: they go on while they gain a
    // hundredth of a percent.
    double mispriced = 0;
    if (refine(&items, &costs, &bestBits, &bestSample, &mispriced) < 0.0001) break;
  }
  if (blocks == 1) return bestSample;
  blockTables.clear();
  costs = costsFromCounts(countSymbols(bestSample));
  // Then the whole content under the costs of the sample's best parse, and
  // again under those of each whole parse while that gains, if its matches
  // are held: searching hundreds of megabytes again is not worth what
  // another parse gains.
  bestBits = std::numeric_limits<uint64_t>::max();
  int wholePasses = oneSegment ? options.wholePasses : 1;
  for (int pass = 0; pass < wholePasses; ++pass) {
    std::vector<Item> items;
    for (size_t begin = 0; begin < size; begin += segmentBytes) {
      size_t end = size - begin > segmentBytes ? begin + segmentBytes : size;
      if (!oneSegment) findMatches(data, begin, end, options.search, &table);
      cheapestItems(data, begin, end, table, costs, &scratch, &items);
    }
    // A whole pass costs several of the sample's: another is made only while
    // the costs were a tenth of a percent off what the parse made of them,
    // which stands for a few hundredths gained.
    double mispriced = 0;
    if (refine(&items, &costs, &bestBits, &best, &mispriced) <= 0 || mispriced < 0.001) break;
  }
  return best;
}

ParseOptions parseOptionsForLevel(int level) {
  // Each level down looks at fewer earlier occurrences, takes shorter matches
  // as they come (whole, without a look at the positions they cover), and
  // refines the costs less.
  struct Level {
    int depthLimit;
    int coverLength;
    int samplePasses;
    int wholePasses;
  };
  static const Level kLevels[kBestLevel] = {{16, 32, 3, 1}, {64, kLongestMatch, 10, 2}, {256, kLongestMatch + 1, 10, 10}};
  const Level& chosen = kLevels[(level < 1 ? 1 : level > kBestLevel ? kBestLevel : level) - 1];
  ParseOptions options;
  options.search.depthLimit = chosen.depthLimit;
  options.search.coverLength = chosen.coverLength;
  options.samplePasses = chosen.samplePasses;
  options.wholePasses = chosen.wholePasses;
  return options;
}

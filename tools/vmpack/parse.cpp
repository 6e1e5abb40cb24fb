#include "vmpack/parse.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "payload/decompressor.h"

namespace {

constexpr int kFlagBits = 1;

int distanceHigh(int distance) { return (distance - 1) >> kLowDistanceBits; }

// Bits of each item under the current codes (the flag and the plain distance
// bits included), as the shortest-path search prices them.
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

Costs costsFromCounts(const SymbolCounts& counts) {
  Costs costs;
  costsFromCounts(counts.literals, costs.literal);
  costsFromCounts(counts.distanceHighs, costs.distanceHigh);
  costsFromCounts(counts.lengths, costs.length);
  for (double& c : costs.literal) c += kFlagBits;
  for (double& c : costs.distanceHigh) c += kFlagBits + kLowDistanceBits;
  return costs;
}

// Before any parse: literals priced by the bytes' own frequencies, every
// distance and length alike, which makes the first parse take long matches.
Costs firstCosts(const uint8_t* data, size_t size) {
  std::vector<uint64_t> histogram(256, 0);
  for (size_t i = 0; i < size; ++i) ++histogram[data[i]];
  Costs costs;
  for (int s = 0; s < 256; ++s) {
    double p = histogram[s] > 0 ? static_cast<double>(histogram[s]) / static_cast<double>(size) : 0.5 / size;
    costs.literal[s] = kFlagBits - std::log2(p);
  }
  for (double& c : costs.distanceHigh) c = kFlagBits + kLowDistanceBits + 6;
  for (double& c : costs.length) c = 6;
  return costs;
}

// The shortest path from position begin to end, where a step is a literal or
// any length up to a found match's.
void parseSegment(const uint8_t* data, size_t begin, size_t end, const MatchTable& table, const Costs& costs,
                  std::vector<Item>* items) {
  size_t n = end - begin;
  std::vector<double> cost(n + 1, std::numeric_limits<double>::infinity());
  std::vector<Item> step(n + 1, Item{0, 0});
  cost[0] = 0;
  for (size_t i = 0; i < n; ++i) {
    double here = cost[i];
    double literal = here + costs.literal[data[begin + i]];
    if (literal < cost[i + 1]) {
      cost[i + 1] = literal;
      step[i + 1] = Item{0, data[begin + i]};
    }
    size_t count = 0;
    const Match* matches = table.at(begin + i, &count);
    // For a length, every found match at least that long can serve; take the
    // one whose distance is cheapest, walking from the longest match down.
    double bestDistance = std::numeric_limits<double>::infinity();
    int bestDistanceValue = 0;
    for (size_t j = count; j-- > 0;) {
      double distanceCost = costs.distanceHigh[distanceHigh(matches[j].distance)];
      if (distanceCost < bestDistance) {
        bestDistance = distanceCost;
        bestDistanceValue = matches[j].distance;
      }
      int shortest = j > 0 ? matches[j - 1].length + 1 : 2;
      double base = here + bestDistance;
      for (int length = shortest; length <= matches[j].length; ++length) {
        double total = base + costs.length[length - 1];
        if (total < cost[i + length]) {
          cost[i + length] = total;
          step[i + length] = Item{static_cast<uint16_t>(length), static_cast<uint16_t>(bestDistanceValue)};
        }
      }
    }
  }
  size_t first = items->size();
  for (size_t at = n; at > 0;) {
    Item item = step[at];
    items->push_back(item);
    at -= item.length == 0 ? 1 : item.length;
  }
  std::reverse(items->begin() + static_cast<std::ptrdiff_t>(first), items->end());
}

}  // namespace

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

std::vector<Item> chooseItems(const uint8_t* data, size_t size, const ParseOptions& options) {
  std::vector<Item> best;
  if (size == 0) return best;
  uint64_t bestBits = std::numeric_limits<uint64_t>::max();
  Costs costs = firstCosts(data, size);
  size_t segmentBytes = options.segmentBytes > 0 ? options.segmentBytes : size;
  // The costs are refined over the first segment, whose matches are found
  // once and held; a longer stream then has each further segment's matches
  // found once too and parsed under the settled costs, instead of every
  // segment searched again in every pass. The codes are the whole stream's,
  // so a first segment of many megabytes prices the rest well.
  size_t firstEnd = size > segmentBytes ? segmentBytes : size;
  MatchTable table;
  findMatches(data, 0, firstEnd, options.search, &table);
  for (int pass = 0; pass < options.passes; ++pass) {
    std::vector<Item> items;
    parseSegment(data, 0, firstEnd, table, costs, &items);
    SymbolCounts counts = countSymbols(items);
    uint64_t bits = streamBits(counts, buildStreamCodes(counts));
    // The costs settle within a few passes; once a pass gains less than a
    // hundredth of a percent, further passes are not worth their time.
    bool settled = bits >= bestBits || bestBits - bits < bestBits / 10000;
    if (bits < bestBits) {
      bestBits = bits;
      best.swap(items);
    }
    if (settled) break;
    costs = costsFromCounts(counts);
  }
  if (firstEnd == size) return best;
  costs = costsFromCounts(countSymbols(best));
  for (size_t begin = firstEnd; begin < size; begin += segmentBytes) {
    size_t end = size - begin > segmentBytes ? begin + segmentBytes : size;
    findMatches(data, begin, end, options.search, &table);
    parseSegment(data, begin, end, table, costs, &best);
  }
  return best;
}

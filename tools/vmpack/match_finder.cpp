#include "vmpack/match_finder.h"

#include <cstring>

#include "payload/decompressor.h"

namespace {

constexpr int kHashBits = 16;
constexpr uint32_t kHashSize = 1u << kHashBits;
// Twice the window, so that a chain link is never overwritten while the
// position it belongs to can still be reached.
constexpr uint32_t kChainSize = 2 * kFarthestMatch;
constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr int kShortestChained = 3;

uint32_t hash3(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
  return (v * 2654435761u) >> (32 - kHashBits);
}

uint32_t hash2(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }

class HashChains {
 public:
  HashChains() : head_(kHashSize, kNone), pairHead_(kHashSize, kNone), previous_(kChainSize, kNone) {}

  // Positions are inserted in order; `limit` is the end of the data.
  void insert(const uint8_t* data, size_t position, size_t limit) {
    uint32_t p = static_cast<uint32_t>(position);
    if (position + 2 <= limit) pairHead_[hash2(data + position)] = p;
    if (position + kShortestChained > limit) return;
    uint32_t h = hash3(data + position);
    previous_[p % kChainSize] = head_[h];
    head_[h] = p;
  }

  uint32_t head(const uint8_t* data, size_t position) const { return head_[hash3(data + position)]; }
  uint32_t pairHead(const uint8_t* data, size_t position) const { return pairHead_[hash2(data + position)]; }
  uint32_t previous(uint32_t position) const { return previous_[position % kChainSize]; }

 private:
  std::vector<uint32_t> head_;
  std::vector<uint32_t> pairHead_;
  std::vector<uint32_t> previous_;
};

size_t commonLength(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t n = 0;
  // Eight bytes at a time while they agree, then byte by byte.
  while (n + 8 <= limit) {
    uint64_t x;
    uint64_t y;
    memcpy(&x, a + n, 8);
    memcpy(&y, b + n, 8);
    if (x != y) break;
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

}  // namespace

void findMatches(const uint8_t* data, size_t begin, size_t end, const MatchSearch& search, MatchTable* table) {
  table->begin = begin;
  table->first.assign(1, 0);
  table->first.reserve(end - begin + 1);
  table->matches.clear();
  HashChains chains;
  size_t historyStart = begin > static_cast<size_t>(kFarthestMatch) ? begin - kFarthestMatch : 0;
  for (size_t p = historyStart; p < begin; ++p) chains.insert(data, p, end);
  for (size_t i = begin; i < end; ++i) {
    size_t limit = end - i < static_cast<size_t>(kLongestMatch) ? end - i : static_cast<size_t>(kLongestMatch);
    size_t best = 1;
    // The last occurrence of the next two bytes is the nearest candidate of
    // all, so the list stays in increasing distance.
    if (limit >= 2) {
      uint32_t candidate = chains.pairHead(data, i);
      if (candidate != kNone && i - candidate <= static_cast<size_t>(kFarthestMatch)) {
        best = commonLength(data + candidate, data + i, limit);
        table->matches.push_back(Match{static_cast<uint16_t>(best), static_cast<uint16_t>(i - candidate)});
      }
    }
    if (limit >= static_cast<size_t>(kShortestChained) && best < limit) {
      uint32_t candidate = chains.head(data, i);
      for (int tries = 0; tries < search.chainLimit && candidate != kNone; ++tries) {
        size_t distance = i - candidate;
        if (distance > static_cast<size_t>(kFarthestMatch)) break;
        const uint8_t* from = data + candidate;
        // Only a longer match is of use: look at the byte that would make it
        // longer before comparing the rest.
        if (from[best] == data[i + best]) {
          size_t length = commonLength(from, data + i, limit);
          if (length > best) {
            table->matches.push_back(Match{static_cast<uint16_t>(length), static_cast<uint16_t>(distance)});
            best = length;
            if (best == limit) break;
          }
        }
        candidate = chains.previous(candidate);
      }
    }
    table->first.push_back(static_cast<uint32_t>(table->matches.size()));
    chains.insert(data, i, end);
  }
}

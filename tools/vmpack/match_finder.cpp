#include "vmpack/match_finder.h"

#include <cstring>

#include "payload/decompressor.h"

namespace {

// Three ways to an earlier occurrence, as in LZMA's bt4 finder. The nearest
// position with the same first two bytes, from a table indexed by them; the
// nearest with the same first three, from a hashed table; and every position
// with the same first four bytes in a binary search tree per hash of them,
// ordered by the bytes that follow each position (as far as a match can
// reach) and with every node newer than the nodes below it. Looking a
// position up walks that tree from the newest node down, so the candidates
// come nearest first, and every occurrence that would make a longer match
// lies on the walk: one between it and the position in the tree's order
// would share at least as long a start with the position while being nearer.
// The walk itself splits the tree around the position, which becomes the new
// root. Any occurrence of four bytes or more is in the tree, and a nearer one
// of two or three bytes is the nearest of its kind, so the matches found are
// those of a search through every earlier position (but for the rare
// three-byte occurrence whose hash another took over).
constexpr int kPairBits = 16;
constexpr int kTripleHashBits = 16;
constexpr int kTreeHashBits = 16;
// Node slots are reused after twice the window, a power of two; a node
// farther back than the window is never followed, so that a reused slot is
// never taken for the node that had it before.
constexpr uint32_t kSlots = 2 * kFarthestMatch;
constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kWindow = kFarthestMatch;

uint32_t pairOf(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }

uint32_t tripleHash(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
  return (v * 2654435761u) >> (32 - kTripleHashBits);
}

uint32_t treeHash(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
               static_cast<uint32_t>(p[3]) << 24;
  return (v * 2654435761u) >> (32 - kTreeHashBits);
}

size_t commonLength(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t n = 0;
  // Eight bytes at a time; where they differ, the lowest set bit of the
  // difference is in the first byte that differs, as the words were loaded
  // little-endian (the byte order checked below). The last few bytes one by
  // one.
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the packer compares words as little-endian");
  while (n + 8 <= limit) {
    uint64_t x;
    uint64_t y;
    memcpy(&x, a + n, 8);
    memcpy(&y, b + n, 8);
    if (x != y) return n + static_cast<size_t>(__builtin_ctzll(x ^ y) >> 3);
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// Appends a match field by field: a Match put together in memory and copied
// whole would be read back before its two halves were stored, a stall on
// every match.
void record(std::vector<Match>* found, size_t length, uint32_t distance) {
  found->push_back(Match());
  Match& match = found->back();
  match.length = static_cast<uint16_t>(length);
  match.distance = static_cast<uint16_t>(distance);
}

class MatchTree {
 public:
  MatchTree()
      : pairs_(1u << kPairBits, kNone),
        triples_(1u << kTripleHashBits, kNone),
        roots_(1u << kTreeHashBits, kNone),
        children_(2 * kSlots, kNone) {}

  // Enters position p, with at least 2 and at most `limit` bytes to compare.
  // With `found`, appends the matches that improve on the longest so far;
  // returns the longest match seen.
  size_t insert(const uint8_t* data, uint32_t p, size_t limit, int depthLimit, std::vector<Match>* found) {
    const uint8_t* here = data + p;
    size_t best = 1;
    uint32_t* pairSlot = &pairs_[pairOf(here)];
    uint32_t nearest = *pairSlot;
    *pairSlot = p;
    if (nearest != kNone && p - nearest <= kWindow) {
      best = 2 + commonLength(data + nearest + 2, here + 2, limit - 2);
      if (found != nullptr) record(found, best, p - nearest);
    }
    if (limit < 3) return best;
    uint32_t* tripleSlot = &triples_[tripleHash(here)];
    nearest = *tripleSlot;
    *tripleSlot = p;
    if (best < 3 && nearest != kNone && p - nearest <= kWindow) {
      size_t length = commonLength(data + nearest, here, limit);
      if (length > best) {
        best = length;
        if (found != nullptr) record(found, best, p - nearest);
      }
    }
    if (limit < 4) return best;
    uint32_t* rootSlot = &roots_[treeHash(here)];
    uint32_t candidate = *rootSlot;
    *rootSlot = p;
    // Where the next node smaller (larger) than p hangs: p's own left (right)
    // child at first, and each such node's right (left) child after it.
    uint32_t* smaller = &children_[2 * (p % kSlots)];
    uint32_t* larger = smaller + 1;
    // Every node between the last smaller and the last larger one shares as
    // many first bytes with p as the nearer of the two does.
    size_t smallerLength = 0;
    size_t largerLength = 0;
    for (int depth = 0;; ++depth) {
      if (candidate == kNone || depth == depthLimit || p - candidate > kWindow) {
        // The rest of the tree is too far back, or not worth the walk: it
        // drops out.
        *smaller = kNone;
        *larger = kNone;
        return best;
      }
      uint32_t* pair = &children_[2 * (candidate % kSlots)];
      const uint8_t* from = data + candidate;
      size_t length = smallerLength < largerLength ? smallerLength : largerLength;
      length += commonLength(from + length, here + length, limit - length);
      if (length > best) {
        best = length;
        if (found != nullptr) record(found, length, p - candidate);
      }
      if (length == limit) {
        // Equal as far as any later match can see (a later position near the
        // end sees less): p takes the older node's place and children.
        *smaller = pair[0];
        *larger = pair[1];
        return best;
      }
      if (from[length] < here[length]) {
        *smaller = candidate;
        smaller = &pair[1];
        candidate = *smaller;
        smallerLength = length;
      } else {
        *larger = candidate;
        larger = &pair[0];
        candidate = *larger;
        largerLength = length;
      }
    }
  }

 private:
  std::vector<uint32_t> pairs_;
  std::vector<uint32_t> triples_;
  std::vector<uint32_t> roots_;
  std::vector<uint32_t> children_;  // left and right of each slot
};

}  // namespace

void findMatches(const uint8_t* data, size_t begin, size_t end, const MatchSearch& search, MatchTable* table) {
  table->begin = begin;
  table->first.assign(1, 0);
  table->first.reserve(end - begin + 1);
  table->matches.clear();
  // Most positions have one or two matches; memory reserved beyond those
  // used is never touched.
  table->matches.reserve(2 * (end - begin));
  MatchTree tree;
  size_t historyStart = begin > static_cast<size_t>(kFarthestMatch) ? begin - kFarthestMatch : 0;
  size_t coveredEnd = 0;
  for (size_t i = historyStart; i < end; ++i) {
    size_t limit = end - i < static_cast<size_t>(kLongestMatch) ? end - i : static_cast<size_t>(kLongestMatch);
    if (limit >= 2) {
      bool wanted = i >= begin && i >= coveredEnd;
      size_t best = tree.insert(data, static_cast<uint32_t>(i), limit, search.depthLimit,
                                wanted ? &table->matches : nullptr);
      if (wanted && best >= static_cast<size_t>(search.coverLength)) coveredEnd = i + best;
    }
    if (i >= begin) table->first.push_back(static_cast<uint32_t>(table->matches.size()));
  }
}

// Finds, for every position of a stretch of data, the earlier occurrences it
// could copy from: for each length that an occurrence improves on, the
// nearest one, within the stream's 8192-byte window and 64-byte matches.
#ifndef VM_TOOLS_VMPACK_MATCH_FINDER_H
#define VM_TOOLS_VMPACK_MATCH_FINDER_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct Match {
  uint16_t length;
  uint16_t distance;
};

// The matches of positions begin to end - 1, each position's list in
// increasing length (and so increasing distance).
struct MatchTable {
  size_t begin = 0;
  std::vector<uint32_t> first;  // per position and one more: index into matches
  std::vector<Match> matches;

  const Match* at(size_t position, size_t* count) const {
    size_t i = position - begin;
    *count = first[i + 1] - first[i];
    return matches.data() + first[i];
  }
};

// How hard the finder looks.
struct MatchSearch {
  // Earlier occurrences looked at per position, at most.
  int depthLimit = 256;
  // A match at least this long is taken as it is: the positions it covers get
  // no matches of their own, and so the parse spends no time on them. Above
  // the longest match (64) every position is searched: a match that long
  // may come from far back, where two nearer ones cost less.
  int coverLength = 65;
};

// Matches for positions [begin, end) of data; the bytes before begin (up to a
// window) count as history, and no match runs past end. A position inside a
// match of coverLength or more has an empty list, as has one with no match.
void findMatches(const uint8_t* data, size_t begin, size_t end, const MatchSearch& search, MatchTable* table);

#endif  // VM_TOOLS_VMPACK_MATCH_FINDER_H

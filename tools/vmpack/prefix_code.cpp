#include "vmpack/prefix_code.h"

#include <algorithm>

#include "payload/code_tree.h"
#include "base/fatal.h"

namespace {

constexpr int kCodedCountBits = 32;
constexpr int kFirstLengthBits = 32;

// A coin of package-merge: a leaf, or a package of two coins of the level
// below.
struct Coin {
  uint64_t weight;
  int symbol;  // -1 for a package
  int left;
  int right;
};

void countLeaves(const std::vector<Coin>& coins, int index, std::vector<int>& lengths) {
  const Coin& coin = coins[index];
  if (coin.symbol >= 0) {
    ++lengths[coin.symbol];
    return;
  }
  countLeaves(coins, coin.left, lengths);
  countLeaves(coins, coin.right, lengths);
}

}  // namespace

std::vector<int> limitedCodeLengths(const std::vector<uint64_t>& counts, int maxBits) {
  std::vector<int> lengths(counts.size(), -1);
  std::vector<int> used;
  for (size_t s = 0; s < counts.size(); ++s) {
    if (counts[s] > 0) used.push_back(static_cast<int>(s));
  }
  if (used.empty()) return lengths;
  if (used.size() == 1) {
    lengths[used[0]] = 0;
    return lengths;
  }
  ENSURE(used.size() <= (1u << maxBits));
  // Ties go to the lower symbol, so that the result is reproducible.
  std::stable_sort(used.begin(), used.end(), [&](int a, int b) { return counts[a] < counts[b]; });
  std::vector<Coin> coins;
  std::vector<int> leaves;
  for (int symbol : used) {
    leaves.push_back(static_cast<int>(coins.size()));
    coins.push_back(Coin{counts[symbol], symbol, -1, -1});
  }
  // The coin-collector's view: each level pairs the coins of the level below
  // into packages and merges them with the leaves; the cheapest 2n - 2 coins
  // of the last level pay for a complete code of at most maxBits bits.
  std::vector<int> level = leaves;
  for (int depth = 1; depth < maxBits; ++depth) {
    std::vector<int> packages;
    for (size_t i = 0; i + 1 < level.size(); i += 2) {
      packages.push_back(static_cast<int>(coins.size()));
      coins.push_back(Coin{coins[level[i]].weight + coins[level[i + 1]].weight, -1, level[i], level[i + 1]});
    }
    std::vector<int> merged;
    merged.reserve(leaves.size() + packages.size());
    std::merge(leaves.begin(), leaves.end(), packages.begin(), packages.end(), std::back_inserter(merged),
               [&](int a, int b) { return coins[a].weight < coins[b].weight; });
    level.swap(merged);
  }
  std::vector<int> found(counts.size(), 0);
  for (size_t i = 0; i < 2 * used.size() - 2; ++i) countLeaves(coins, level[i], found);
  for (int symbol : used) lengths[symbol] = found[symbol];
  return lengths;
}

PrefixCode prefixCodeFromLengths(const std::vector<int>& lengths) {
  PrefixCode code;
  code.lengths = lengths;
  code.codes.assign(lengths.size(), 0);
  int longest = -1;
  for (int length : lengths) {
    if (length >= 0) ++code.codedCount;
    longest = std::max(longest, length);
  }
  if (code.codedCount == 0) return code;
  if (code.codedCount == 1) {
    for (size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] >= 0) {
        // The one symbol of a code takes no bits.
        ENSURE(lengths[s] == 0);
        code.groups.push_back(CodeGroup{0, 0, 0, {static_cast<int>(s)}});
      }
    }
    return code;
  }
  // Each group starts where the group below it ends, carried up one level per
  // step in length and rounded up; the first starts at 0.
  uint64_t end = 0;
  int endLength = longest;
  for (int length = longest; length >= 1; --length) {
    CodeGroup group{length, 0, 0, {}};
    for (size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] == length) group.symbols.push_back(static_cast<int>(s));
    }
    if (group.symbols.empty()) continue;
    uint64_t start = end;
    for (int step = length; step < endLength; ++step) start = (start + 1) / 2;
    group.start = static_cast<uint32_t>(start);
    for (size_t j = 0; j < group.symbols.size(); ++j) code.codes[group.symbols[j]] = static_cast<uint32_t>(start + j);
    end = start + group.symbols.size();
    endLength = length;
    ENSURE(end <= (uint64_t{1} << length));
    group.leadingZeros = std::max(0, length - bitWidth(static_cast<int32_t>(end - 1)));
    code.groups.push_back(group);
  }
  // The decoder pairs codes level by level: only a complete code joins up.
  for (int length : lengths) ENSURE(length != 0);
  ENSURE(end == (uint64_t{1} << endLength));
  return code;
}

PrefixCode buildPrefixCode(const std::vector<uint64_t>& counts) {
  return prefixCodeFromLengths(limitedCodeLengths(counts, kLongestCode));
}

uint64_t descriptionBits(const PrefixCode& code, int symbolBits) {
  uint64_t bits = kCodedCountBits;
  int lengthWidth = kFirstLengthBits;
  for (const CodeGroup& group : code.groups) {
    int fieldBits = group.length - group.leadingZeros;
    bits += lengthWidth + bitWidth(group.length) + 2 * fieldBits + group.symbols.size() * symbolBits;
    if (group.length > 0) lengthWidth = bitWidth(group.length - 1);
  }
  return bits;
}

void writeCodeDescription(BitSink& sink, const PrefixCode& code, int symbolBits) {
  sink.putBitsLowFirst(static_cast<uint32_t>(code.codedCount), kCodedCountBits);
  int lengthWidth = kFirstLengthBits;
  for (const CodeGroup& group : code.groups) {
    int fieldBits = group.length - group.leadingZeros;
    sink.putBitsLowFirst(static_cast<uint32_t>(group.length), lengthWidth);
    sink.putBitsLowFirst(static_cast<uint32_t>(group.leadingZeros), bitWidth(group.length));
    sink.putBitsLowFirst(group.start, fieldBits);
    sink.putBitsLowFirst(static_cast<uint32_t>(group.symbols.size() - 1), fieldBits);
    for (int symbol : group.symbols) sink.putBitsLowFirst(static_cast<uint32_t>(symbol), symbolBits);
    if (group.length > 0) lengthWidth = bitWidth(group.length - 1);
  }
}

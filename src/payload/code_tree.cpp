#include "payload/code_tree.h"

#include "base/fatal.h"

namespace {

constexpr int32_t kWidestSymbol = 16;
constexpr int32_t kFirstLengthBits = 32;

uint32_t readField(BitSource& source, int32_t width) {
  uint32_t value = 0;
  source.readBits(&value, width);
  return value;
}

}  // namespace

int32_t bitWidth(int32_t v) {
  ENSURE(v >= 0);
  int32_t width = 1;
  while (width < 31 && (v >> width) != 0) ++width;
  return width;
}

CodeTree::CodeTree(int32_t symbolBits)
    : n(0), symbolBits(symbolBits), root(-1), codedCount(0), failed(0) {
  ENSURE(symbolBits >= 0 && symbolBits <= kWidestSymbol);
  n = 1 << symbolBits;
  nodes.resize(2 * n - 1);
}

void CodeTree::readCodeTree(BitSource& source) {
  for (int32_t i = 0; i < n; ++i) {
    CodeTreeNode& leaf = nodes[i];
    leaf.length = -1;
    leaf.child0 = -1;
    leaf.child1 = -1;
    leaf.merged = 0;
  }
  codedCount = static_cast<int32_t>(readField(source, kFirstLengthBits));
  root = -1;
  // Counts are kept in 64 bits: a damaged description may announce up to
  // 2^32 symbols in one group. Listing a symbol twice ends the walk long
  // before that, since there are only n symbols.
  int64_t done = 0;
  int32_t maxLength = 0;
  int32_t lengthWidth = kFirstLengthBits;
  while (done < codedCount) {
    int32_t length = static_cast<int32_t>(readField(source, lengthWidth));
    int32_t leadingZeros = static_cast<int32_t>(readField(source, bitWidth(length)));
    ENSURE(leadingZeros <= length);
    uint32_t start = readField(source, length - leadingZeros);
    int64_t count = static_cast<int64_t>(readField(source, length - leadingZeros)) + 1;
    if (done + count < codedCount) lengthWidth = bitWidth(length - 1);
    if (length > maxLength) maxLength = length;
    int32_t previous = -1;
    for (int64_t j = 0; j < count; ++j) {
      int32_t symbol = static_cast<int32_t>(readField(source, symbolBits));
      ENSURE(symbol > previous);
      CodeTreeNode& leaf = nodes[symbol];
      ENSURE(leaf.length < 0);
      leaf.leadingZeros = leadingZeros;
      // Code words wrap around in 32 bits; the joining below rejects any
      // that do not pair up.
      leaf.code = static_cast<int32_t>(start + static_cast<uint32_t>(j));
      leaf.codeBits = length - leadingZeros;
      leaf.length = length;
      previous = symbol;
      ++done;
      root = symbol;
    }
  }
  // The last group listed more symbols than were announced.
  ENSURE(done == codedCount);
  if (codedCount > 1) {
    ENSURE(maxLength >= 1);
    joinLevels(maxLength);
  }
  ENSURE(codedCount == 0 || root >= 0);
}

// Joins the coded nodes bottom-up, one code length at a time: two nodes of
// the current length whose codes differ only in bit 0 get a parent one level
// up, until no node below the root is left unjoined.
void CodeTree::joinLevels(int32_t maxLength) {
  int32_t total = n;
  int32_t level = maxLength;
  for (;;) {
    int32_t nextLevel = -1;
    // Parents made during the pass are visited in the same pass.
    for (int32_t j = 0; j < total; ++j) {
      // Most nodes are passed over: only their length and mark are read.
      const int32_t length = nodes[j].length;
      if (length < 0 || nodes[j].merged) continue;
      ENSURE(length <= level);
      if (length < level) {
        if (length > nextLevel) nextLevel = length;
        continue;
      }
      const CodeTreeNode node = nodes[j];
      int32_t m = findPartner(j, total, level);
      ENSURE(m >= 0);
      const CodeTreeNode partner = nodes[m];
      int32_t leadingZeros = node.leadingZeros < partner.leadingZeros ? node.leadingZeros : partner.leadingZeros;
      ENSURE(leadingZeros <= level - 1);
      bool nodeIsEven = (node.code & 1) == 0;
      // Index total is past the array once every node is used: the bounds
      // check stops a description that would need more.
      CodeTreeNode& parent = nodes[total];
      parent.length = level - 1;
      parent.child0 = nodeIsEven ? j : m;
      parent.child1 = nodeIsEven ? m : j;
      parent.leadingZeros = leadingZeros;
      parent.codeBits = (level - 1) - leadingZeros;
      parent.code = static_cast<int32_t>(static_cast<uint32_t>(node.code) >> 1);
      parent.merged = 0;
      nodes[j].merged = 1;
      nodes[m].merged = 1;
      ++total;
    }
    if (nextLevel < 1) break;
    level = nextLevel;
  }
  ENSURE(total == n + codedCount - 1);
  root = total - 1;
}

int32_t CodeTree::findPartner(int32_t j, int32_t total, int32_t level) {
  uint32_t code = static_cast<uint32_t>(nodes[j].code);
  for (int32_t m = j + 1; m < total; ++m) {
    const CodeTreeNode& other = nodes[m];
    if (!other.merged && other.length == level && (static_cast<uint32_t>(other.code) ^ code) == 1) return m;
  }
  return -1;
}

#include "payload/decode_table.h"

#include "base/fatal.h"

namespace {

constexpr int32_t kWidestTable = 16;
constexpr int32_t kWidestTableSymbol = 8;
constexpr int32_t kWidestValue = 14;

uint32_t entryOf(uint32_t flags, int32_t value, int32_t bits, int32_t next) {
  return flags | static_cast<uint32_t>(value) << kTableEntryValueShift |
         static_cast<uint32_t>(bits) << kTableEntryBitsShift | static_cast<uint32_t>(next);
}

}  // namespace

void buildDecodeTable(const CodeTree& tree, uint32_t* table, const TableForm& form) {
  ENSURE(form.codeBits >= 1 && form.codeBits <= kWidestTable);
  ENSURE(form.prefixBits >= 0 && form.prefixBits <= 1 && form.prefix < (1u << form.prefixBits));
  ENSURE(tree.symbolBits <= kWidestTableSymbol);
  ENSURE(form.scale >= 0 && form.offset >= 0 &&
         (tree.n - 1) * form.scale + form.offset < (1 << kWidestValue));
  ENSURE(form.plainBits >= 0 && form.plainBits <= 32);
  const uint32_t size = 1u << form.codeBits;
  const int32_t step = form.prefixBits;
  if (tree.codedCount == 0) {
    // Using an alphabet without codes is the internal error, raised where the
    // decoder walks on from kNoTreeNode.
    for (uint32_t i = 0; i < size; ++i)
      table[i << step | form.prefix] =
          entryOf(kLongCode, static_cast<int32_t>(kNoTreeNode), form.prefixBits, form.prefixBits);
    return;
  }
  // Depth first from the root down to the table's width. A node is visited
  // with its depth and the bits that lead to it in reading order; at most
  // one sibling per level waits on the stack.
  struct Visit {
    int32_t node;
    int32_t depth;
    uint32_t path;
  };
  Visit stack[2 * (kWidestTable + 1)];
  int32_t waiting = 0;
  stack[waiting++] = Visit{tree.root, 0, 0};
  while (waiting > 0) {
    Visit visit = stack[--waiting];
    const CodeTreeNode& node = tree.nodes[visit.node];
    if (node.child0 == -1) {
      ENSURE(node.child1 == -1);
      int32_t bits = form.prefixBits + visit.depth;
      uint32_t entry = entryOf(0, visit.node * form.scale + form.offset, bits, bits + form.plainBits);
      // Every index that begins with the code word's bits.
      for (uint32_t i = visit.path; i < size; i += 1u << visit.depth) table[i << step | form.prefix] = entry;
      continue;
    }
    ENSURE(node.child1 >= 0);
    if (visit.depth == form.codeBits) {
      int32_t bits = form.prefixBits + form.codeBits;
      table[visit.path << step | form.prefix] = entryOf(kLongCode, visit.node, bits, bits);
      continue;
    }
    stack[waiting++] = Visit{node.child0, visit.depth + 1, visit.path};
    stack[waiting++] = Visit{node.child1, visit.depth + 1, visit.path | 1u << visit.depth};
  }
}

void pairLiterals(uint32_t* table, int32_t tableBits) {
  ENSURE(tableBits >= 2 && tableBits <= 1 + kWidestTable);
  const uint32_t size = 1u << tableBits;
  // Each pair is made from the single entries, which lie at indexes whose
  // bits above the first literal's are those of the second: the entry at
  // those bits alone, read before any pair is made there (a pair only
  // replaces an entry at an index higher than the one it is made from, or
  // at the same one), tells whether its code word ends within them.
  for (uint32_t i = size - 2;; i -= 2) {
    uint32_t first = table[i];
    int32_t firstBits = tableEntryNext(first);
    if ((first & (kLongCode | kLiteralPair)) == 0 && firstBits < tableBits && ((i >> firstBits) & 1) == 0) {
      uint32_t second = table[i >> firstBits];
      int32_t bothBits = firstBits + tableEntryNext(second);
      if ((second & (kLongCode | kLiteralPair)) == 0 && bothBits <= tableBits) {
        table[i] = (first & 0x00FFFF00u) | (second >> kTableEntryValueShift & 0xFF) << 24 | kLiteralPair |
                   static_cast<uint32_t>(bothBits);
      }
    }
    if (i == 0) break;
  }
}

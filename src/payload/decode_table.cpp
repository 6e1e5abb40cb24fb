#include "payload/decode_table.h"

#include "base/fatal.h"

namespace {

constexpr int32_t kWidestTable = 16;
constexpr int32_t kWidestTableSymbol = 8;

uint32_t leafEntry(int32_t symbol, int32_t length) {
  return static_cast<uint32_t>(symbol) | static_cast<uint32_t>(length) << kTableEntryBitsShift;
}

}  // namespace

void buildDecodeTable(const CodeTree& tree, uint32_t* table, int32_t tableBits) {
  ENSURE(tableBits >= 1 && tableBits <= kWidestTable);
  ENSURE(tree.symbolBits <= kWidestTableSymbol);
  const int32_t size = 1 << tableBits;
  if (tree.codedCount == 0) {
    // Using an alphabet without codes is the internal error, raised where the
    // decoder walks on from kNoTreeNode.
    for (int32_t i = 0; i < size; ++i) table[i] = kLongCode | kNoTreeNode;
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
      // Every index that begins with the code word's bits.
      for (uint32_t i = visit.path; i < static_cast<uint32_t>(size); i += 1u << visit.depth)
        table[i] = leafEntry(visit.node, visit.depth);
      continue;
    }
    ENSURE(node.child1 >= 0);
    if (visit.depth == tableBits) {
      table[visit.path] = kLongCode | static_cast<uint32_t>(visit.node) |
                          static_cast<uint32_t>(tableBits) << kTableEntryBitsShift;
      continue;
    }
    stack[waiting++] = Visit{node.child0, visit.depth + 1, visit.path};
    stack[waiting++] = Visit{node.child1, visit.depth + 1, visit.path | 1u << visit.depth};
  }
}

// The decoding tree of one prefix-code alphabet, rebuilt from the code
// description that the stream transmits.
//
// A description lists the coded symbols in groups of equal code length:
//   codedCount  32 bits    symbols that have a code
//   per group, until codedCount symbols are listed:
//     L         32 bits for the first group, bitWidth(L - 1) of the group
//               before for every later one: the code length of the group
//     k         bitWidth(L): leading zero bits all the group's codes share
//     start     L - k bits: the code word of the group's first symbol
//     count-1   L - k bits
//     symbols   symbolBits each, strictly increasing
// The j-th symbol of a group has the L-bit code word start + j. A single coded
// symbol needs no bits at all when decoded; no coded symbol at all is allowed
// as long as the alphabet is never used.
#ifndef VM_PAYLOAD_CODE_TREE_H
#define VM_PAYLOAD_CODE_TREE_H

#include <cstdint>

#include "payload/bit_stream.h"
#include "base/containers.h"

// The number of bits needed to write v, at least 1.
int32_t bitWidth(int32_t v);

// Leaves are nodes 0 to n - 1, node i standing for symbol i; inner nodes are
// appended from n on in the order in which the joining makes them.
struct CodeTreeNode {
  int32_t child0;        // node reached on a 0 bit; -1 for a leaf
  int32_t child1;        // node reached on a 1 bit; -1 for a leaf
  int32_t length;        // code length; -1 when the symbol has no code
  int32_t leadingZeros;  // k of the node
  int32_t code;          // the code word; its low codeBits bits are significant
  int32_t codeBits;      // length - leadingZeros
  int32_t merged;        // 1 once the node has been joined under a parent
};

class CodeTree {
 public:
  // symbolBits above 16 is an internal error.
  explicit CodeTree(int32_t symbolBits);
  CodeTree(const CodeTree&) = delete;
  CodeTree& operator=(const CodeTree&) = delete;

  // Reads a code description and joins the coded leaves into a tree. Every
  // inconsistency of the description is an internal error.
  void readCodeTree(BitSource& source);

  DynArray<CodeTreeNode> nodes;
  int32_t n;           // number of leaves, 2^symbolBits
  int32_t symbolBits;  // width of a symbol number in the description
  int32_t root;        // node index, -1 when none
  int32_t codedCount;
  int32_t failed;

 private:
  void joinLevels(int32_t maxLength);
  int32_t findPartner(int32_t j, int32_t total, int32_t level);
};

#endif  // VM_PAYLOAD_CODE_TREE_H

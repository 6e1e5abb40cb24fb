// Lookup tables that decode a code word with one look at the stream's next
// bits, built from a checked decoding tree (code_tree.h).
//
// A table of width w has 2^w entries, indexed by the next w bits of the
// stream, the first bit to be read at bit 0: for a code word of length
// d <= w, every index whose low d bits are the code word's bits in reading
// order holds its symbol. Each entry, one uint32:
//   bits 0-15   the symbol; for a long code, the tree node reached after w
//               bits (kNoTreeNode when the alphabet has no code at all)
//   bits 16-23  the bits the entry takes: the code length, or w for a long
//               code (0 when the alphabet has no code)
//   bit 31      kLongCode: the code word is longer than w bits; the decoder
//               walks the tree on from the node, one bit at a time
#ifndef VM_PAYLOAD_DECODE_TABLE_H
#define VM_PAYLOAD_DECODE_TABLE_H

#include <cstdint>

#include "payload/code_tree.h"

constexpr uint32_t kLongCode = 0x80000000u;
constexpr uint32_t kNoTreeNode = 0xFFFF;
constexpr int32_t kTableEntryBitsShift = 16;

inline int32_t tableEntryBits(uint32_t entry) { return static_cast<int32_t>((entry >> kTableEntryBitsShift) & 0xFF); }
inline int32_t tableEntryValue(uint32_t entry) { return static_cast<int32_t>(entry & 0xFFFF); }

// Fills the 2^tableBits entries of `table` from the tree (tableBits 1 to 16,
// the tree's symbols at most 8 bits wide). A node the reference walk would
// refuse is refused here as well, with the internal error.
void buildDecodeTable(const CodeTree& tree, uint32_t* table, int32_t tableBits);

#endif  // VM_PAYLOAD_DECODE_TABLE_H

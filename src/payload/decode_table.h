// Lookup tables that decode a code word with one look at the stream's next
// bits, built from a checked decoding tree (code_tree.h).
//
// A table is indexed by the next bits of the stream, the first bit to be read
// at bit 0. It may place a code behind a fixed prefix of the item it belongs
// to (the decoder's item table puts the flag bit first, so that one look
// decodes the flag and the code word after it): for a code word of length
// d <= w (the code bits the table looks at), every index whose low bits are
// the prefix and then the code word's bits in reading order holds the code
// word's entry. Each entry, one uint32:
//   bits 0-5    where the next code starts: for a leaf, the bits it takes and
//               the form's plain bits (a field that follows the code word, as
//               the distance's low part follows its high part); for a long
//               code, the bits it takes; for a pair, the bits of both
//   bit 6       kLongCode: the code word is longer than w bits; the decoder
//               walks the tree on from the node, one bit at a time
//   bit 7       kLiteralPair: the entry holds two literals (pairLiterals)
//   bits 8-15   the bits the entry's (first) code takes: the prefix's and
//               the code length, or the prefix's and w for a long code (the
//               prefix's alone when the alphabet has no code at all)
//   bits 16-31  for a leaf, the symbol times the form's scale plus its
//               offset, below 2^14; for a long code, the tree node reached
//               after w code bits (kNoTreeNode when the alphabet has no code
//               at all); for a pair, the first literal in bits 16-23 and the
//               second in bits 24-31
#ifndef VM_PAYLOAD_DECODE_TABLE_H
#define VM_PAYLOAD_DECODE_TABLE_H

#include <cstdint>

#include "payload/code_tree.h"

constexpr uint32_t kTableEntryNextMask = 0x3F;
constexpr uint32_t kLongCode = 0x40;
constexpr uint32_t kLiteralPair = 0x80;
constexpr int32_t kTableEntryBitsShift = 8;
constexpr int32_t kTableEntryValueShift = 16;
constexpr uint32_t kNoTreeNode = 0x3FFF;

inline int32_t tableEntryNext(uint32_t entry) { return static_cast<int32_t>(entry & kTableEntryNextMask); }
inline int32_t tableEntryBits(uint32_t entry) { return static_cast<int32_t>((entry >> kTableEntryBitsShift) & 0xFF); }
// The value of a leaf or a long code; a pair's first literal is its low byte.
inline int32_t tableEntryValue(uint32_t entry) { return static_cast<int32_t>(entry >> kTableEntryValueShift); }

// Where a code's entries go and what its leaves hold.
struct TableForm {
  int32_t codeBits;     // w: 1 to 16
  int32_t prefixBits;   // 0 or 1
  uint32_t prefix;      // the prefix's bits, below 2^prefixBits
  int32_t scale;        // a leaf holds symbol * scale + offset, below 2^14
  int32_t offset;
  int32_t plainBits;    // 0 to 32
};

// Fills the 2^codeBits entries of `table` that begin with the form's prefix
// (the table has 2^(prefixBits + codeBits)) from the tree, whose symbols are
// at most 8 bits wide. A node the reference walk would refuse is refused here
// as well, with the internal error.
void buildDecodeTable(const CodeTree& tree, uint32_t* table, const TableForm& form);

// In a table of 2^tableBits entries built with a one-bit prefix, whose prefix
// 0 holds the literals (scale 1, offset 0, no plain bits): makes each literal
// entry whose bits leave room for a whole second literal, the flag 0 and a
// code word within the table, a pair of both. A pair's bits field is still
// the first literal's alone, so that a reader of single items can ignore the
// second.
void pairLiterals(uint32_t* table, int32_t tableBits);

#endif  // VM_PAYLOAD_DECODE_TABLE_H

// The decoder of the compressed stream that carries the contents of an
// entry's files back to back.
//
// Stream layout (fields read least significant bit first, code words most
// significant bit first):
//   totalBits   32 bits, signed: output bits the stream encodes
//   three code descriptions (see code_tree.h): literals (8-bit symbols),
//   distance high parts (6-bit symbols), match lengths minus one (6 bits)
//   items until totalBits output bits are produced, each a flag bit and
//     0: a literal code word: the output symbol
//     1: a distance code word hi, 7 plain bits lo, a length code word len:
//        repeat len + 1 symbols from hi * 128 + lo + 1 symbols back
//   zero bits up to the end of the last byte
// One set of three codes serves the whole stream; there are no blocks.
#ifndef VM_PAYLOAD_DECOMPRESSOR_H
#define VM_PAYLOAD_DECOMPRESSOR_H

#include <cstdint>

#include "payload/bit_stream.h"
#include "payload/code_tree.h"
#include "base/containers.h"

// The shape every payload entry's stream has: byte symbols and an 8192-symbol
// window, so matches reach 1 to 8192 symbols back and are 1 to 64 long.
constexpr int32_t kEntrySymbolBits = 8;
constexpr int32_t kEntryWindowBits = 13;
constexpr int32_t kDistanceSymbolBits = 6;
constexpr int32_t kLengthSymbolBits = 6;
constexpr int32_t kLowDistanceBits = kEntryWindowBits - kDistanceSymbolBits;
constexpr int32_t kLongestMatch = 1 << kLengthSymbolBits;
constexpr int32_t kFarthestMatch = 1 << kEntryWindowBits;
constexpr int32_t kTotalBitsFieldBits = 32;

// Progress is reported once per run of this many symbols: after the item
// (a literal or a match) that reaches 4096, 8192 and so on. At the decoder's
// speed a run takes some microseconds, so a stop asked for is heeded at once,
// while the calls cost nothing beside the decoding.
constexpr int32_t kProgressRunSymbols = 4096;

// The widths of the decoding tables. The item table decodes an item's flag
// and the code word after it with one look: a literal (or two, see
// pairLiterals) or a distance's high part, of up to 11 bits, in a table of
// 16 KiB. The longest codes of real entries, up to 15 bits, are rare by
// their very length and walk the tree for the rest. The length alphabet has
// 64 symbols and short codes.
constexpr int32_t kItemCodeBits = 11;
constexpr int32_t kItemTableBits = 1 + kItemCodeBits;
constexpr int32_t kLengthTableBits = 10;

// Called as decoding goes on with the fraction done; 0 asks it to stop.
typedef int (*ProgressFunction)(double fraction);

// Decodes one entry's stream with lookup tables, writing the output into a
// buffer that also holds the window, or into the sink's own block, and hands
// it to the sink in runs.
class Decompressor {
 public:
  Decompressor();
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  // Reads the header and the three descriptions, then hands every decoded
  // symbol to the sink (decoding straight into its block where it offers
  // one, see BitSink::directBlock), calling `progress` (may be null) after
  // each item that reaches a multiple of kProgressRunSymbols symbols, short
  // of the last symbol; the sink then has every symbol decoded. Returns 1 when
  // totalBits bits were produced (or totalBits <= 0), 0 when progress asked
  // to stop; either way the sink has every symbol decoded up to there, and
  // none after. A last symbol of fewer than 8 bits is put with
  // putBitsLowFirst and not flushed: its byte is the caller's to flush.
  int32_t decodeStream(MemoryBitSource& source, BitSink& sink, ProgressFunction progress);

 private:
  int32_t decodeItems(MemoryBitSource& source, BitSink& sink, ProgressFunction progress, int32_t totalBits);

  CodeTree literalTree;
  CodeTree distanceTree;
  CodeTree lengthTree;
  // The last kFarthestMatch symbols followed by the output not yet handed on.
  DynArray<uint8_t> output;
  // Even indexes (flag 0) hold the literals, odd ones the distances' high
  // parts as the distance they start (high * 128 + 1); see decode_table.h.
  uint32_t itemTable[1 << kItemTableBits];
  uint32_t lengthTable[1 << kLengthTableBits];
};

#endif  // VM_PAYLOAD_DECOMPRESSOR_H

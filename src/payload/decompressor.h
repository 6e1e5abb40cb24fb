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
#include "payload/containers.h"

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

// Called as decoding goes on with the fraction done; 0 asks it to stop.
typedef int (*ProgressFunction)(double fraction);

class Decompressor {
 public:
  // windowBits of 6 or less leaves no room for the low distance bits and is an
  // internal error, as is a window too large for the int32 positions.
  Decompressor(int32_t symbolBits, int32_t windowBits);
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;

  // Reads the header and the three descriptions, then hands every decoded
  // symbol to the sink, calling `progress` (may be null) after the symbols
  // with index 256 to 511, 768 to 1023 and so on. Returns 1 when totalBits
  // bits were produced (or totalBits <= 0), 0 when progress asked to stop.
  // The sink is not flushed: its last byte is the caller's to flush.
  int32_t decodeStream(BitSource& source, BitSink& sink, ProgressFunction progress);

  // The next output symbol, or -1 when the source ended between two items.
  int32_t nextSymbol(BitSource& source);

 private:
  void push(int32_t value);
  int32_t at(int32_t position);

  DynArray<int32_t> history;  // ring of the last 2^windowBits symbols
  int32_t windowBits;
  int32_t lowDistanceBits;
  int32_t copyPosition;    // absolute output position of the next symbol to copy
  int32_t copyLeft;        // symbols of the current match still to produce
  int32_t literalPending;
  int32_t historyCount;    // symbols held, up to the window's size
  int32_t historyDropped;  // symbols pushed out so far; the oldest held position
  int32_t historyHead;     // index of the oldest symbol held
  int32_t symbolBits;      // literal width and output bits per symbol
  CodeTree literalTree;
  CodeTree distanceTree;
  CodeTree lengthTree;
};

#endif  // VM_PAYLOAD_DECOMPRESSOR_H

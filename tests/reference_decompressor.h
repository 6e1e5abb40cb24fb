// The tree-walking decoder the program once shipped: every code word walked
// one bit and one node at a time, the window a ring of int32 values, each
// symbol handed to the sink as eight single bits. It is the reference the
// table-driven Decompressor is compared with, symbol for symbol, progress
// call for progress call, and failure for failure.
#ifndef VM_TESTS_REFERENCE_DECOMPRESSOR_H
#define VM_TESTS_REFERENCE_DECOMPRESSOR_H

#include <cstdint>

#include "payload/bit_stream.h"
#include "payload/code_tree.h"
#include "base/containers.h"
#include "payload/decompressor.h"

// Walks from the root one bit at a time, the first bit deciding the highest
// bit of the code word. Using a tree without codes is an internal error.
int32_t walkCodeTree(CodeTree& tree, BitSource& source);

class TreeWalkingDecompressor {
 public:
  // windowBits of 6 or less leaves no room for the low distance bits and is an
  // internal error, as is a window too large for the int32 positions.
  TreeWalkingDecompressor(int32_t symbolBits, int32_t windowBits);
  TreeWalkingDecompressor(const TreeWalkingDecompressor&) = delete;
  TreeWalkingDecompressor& operator=(const TreeWalkingDecompressor&) = delete;

  // As Decompressor::decodeStream, but every symbol goes to the sink through
  // putBitsLowFirst, so its byte waits in the sink until the next one comes.
  int32_t decodeStream(BitSource& source, BitSink& sink, ProgressFunction progress);

  // The next output symbol, or -1 when the source ended between two items.
  int32_t nextSymbol(BitSource& source);

 private:
  void push(int32_t value);
  int32_t at(int32_t position);

  DynArray<int32_t> history;  // ring of the last 2^windowBits symbols
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

#endif  // VM_TESTS_REFERENCE_DECOMPRESSOR_H

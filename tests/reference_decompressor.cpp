#include "reference_decompressor.h"

#include "base/fatal.h"

namespace {

// Beyond this the window would not fit an int32 count of int32 entries.
constexpr int32_t kWidestWindowBits = 24;

}  // namespace

int32_t walkCodeTree(CodeTree& tree, BitSource& source) {
  if (tree.codedCount == 0) tree.failed = 1;
  ENSURE(!tree.failed);
  int32_t node = tree.root;
  int32_t steps = 0;
  for (;;) {
    const CodeTreeNode& current = tree.nodes[node];
    if (current.child0 == -1) {
      ENSURE(current.child1 == -1);
      return node;
    }
    ENSURE(current.child1 >= 0);
    node = source.nextBit() ? current.child1 : current.child0;
    ++steps;
    ENSURE(steps <= tree.n);
  }
}

TreeWalkingDecompressor::TreeWalkingDecompressor(int32_t symbolBits, int32_t windowBits)
    : lowDistanceBits(windowBits - kDistanceSymbolBits),
      copyPosition(0),
      copyLeft(0),
      literalPending(0),
      historyCount(0),
      historyDropped(0),
      historyHead(0),
      symbolBits(symbolBits),
      literalTree(symbolBits),
      distanceTree(kDistanceSymbolBits),
      lengthTree(kLengthSymbolBits) {
  ENSURE(windowBits > kDistanceSymbolBits && windowBits <= kWidestWindowBits);
  history.resize(1 << windowBits);
}

void TreeWalkingDecompressor::push(int32_t value) {
  // The window's size is a power of two, so the mask is the modulo.
  int32_t size = history.count();
  if (historyCount < size) {
    history[(historyHead + historyCount) & (size - 1)] = value;
    ++historyCount;
    return;
  }
  ENSURE(historyCount == size);
  history[historyHead] = value;
  ++historyDropped;
  historyHead = (historyHead + 1) & (size - 1);
}

int32_t TreeWalkingDecompressor::at(int32_t position) {
  // A match reaching before the first symbol of the stream lands here too.
  int32_t r = position - historyDropped;
  ENSURE(r >= 0 && r < historyCount);
  return history[(historyHead + r) & (history.count() - 1)];
}

int32_t TreeWalkingDecompressor::nextSymbol(BitSource& source) {
  if (copyLeft <= 0) {
    while (copyLeft <= 0) {
      if (literalPending > 0) {
        int32_t symbol = walkCodeTree(literalTree, source);
        --literalPending;
        push(symbol);
        return symbol;
      }
      if (source.atEnd()) return -1;
      if (source.nextBit()) {
        int32_t high = walkCodeTree(distanceTree, source);
        uint32_t low = 0;
        source.readBits(&low, lowDistanceBits);
        int32_t distance = (high << lowDistanceBits) + static_cast<int32_t>(low) + 1;
        copyLeft = walkCodeTree(lengthTree, source) + 1;
        copyPosition = historyDropped + historyCount - distance;
      } else {
        literalPending = 1;
      }
    }
  }
  // One symbol at a time, each entering the history at once, so a match may
  // overlap its own output: distance 1 repeats the last symbol.
  int32_t symbol = at(copyPosition);
  --copyLeft;
  ++copyPosition;
  push(symbol);
  return symbol;
}

int32_t TreeWalkingDecompressor::decodeStream(BitSource& source, BitSink& sink, ProgressFunction progress) {
  uint32_t header = 0;
  source.readBits(&header, kTotalBitsFieldBits);
  int32_t totalBits = static_cast<int32_t>(header);
  // The descriptions are read even when there is nothing to decode.
  literalTree.readCodeTree(source);
  distanceTree.readCodeTree(source);
  lengthTree.readCodeTree(source);
  int32_t bitsDone = 0;
  int32_t symbolsDone = 0;
  int32_t nextReport = kProgressRunSymbols;
  if (totalBits <= 0) return 1;
  for (;;) {
    int32_t symbol = nextSymbol(source);
    // The data ended before totalBits bits were produced.
    ENSURE(symbol >= 0);
    int32_t bits = totalBits - bitsDone < symbolBits ? totalBits - bitsDone : symbolBits;
    // A last symbol wider than the bits left is refused by the sink.
    sink.putBitsLowFirst(static_cast<uint32_t>(symbol), bits);
    bitsDone += bits;
    ++symbolsDone;
    if (bitsDone >= totalBits) return 1;
    // After the item that reaches each multiple of the run.
    bool itemEnded = copyLeft <= 0 && literalPending <= 0;
    if (progress != nullptr && itemEnded && symbolsDone >= nextReport) {
      nextReport = symbolsDone - symbolsDone % kProgressRunSymbols + kProgressRunSymbols;
      if (progress(static_cast<double>(bitsDone) / static_cast<double>(totalBits)) == 0) return 0;
    }
  }
}

#include "payload/decompressor.h"

#include "setup/fatal.h"

namespace {

// Beyond this the window would not fit an int32 count of int32 entries.
constexpr int32_t kWidestWindowBits = 24;
// Progress is reported in runs: 256 symbols with a call after each, then 256
// without, so the message pump runs often without costing every symbol.
constexpr int32_t kProgressRunBit = 256;

}  // namespace

Decompressor::Decompressor(int32_t symbolBits, int32_t windowBits)
    : windowBits(windowBits),
      lowDistanceBits(windowBits - kDistanceSymbolBits),
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

void Decompressor::push(int32_t value) {
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

int32_t Decompressor::at(int32_t position) {
  // A match reaching before the first symbol of the stream lands here too.
  int32_t r = position - historyDropped;
  ENSURE(r >= 0 && r < historyCount);
  return history[(historyHead + r) & (history.count() - 1)];
}

int32_t Decompressor::nextSymbol(BitSource& source) {
  if (copyLeft <= 0) {
    while (copyLeft <= 0) {
      if (literalPending > 0) {
        int32_t symbol = literalTree.decodeSymbol(source);
        --literalPending;
        push(symbol);
        return symbol;
      }
      if (source.atEnd()) return -1;
      if (source.nextBit()) {
        int32_t high = distanceTree.decodeSymbol(source);
        uint32_t low = 0;
        source.readBits(&low, lowDistanceBits);
        int32_t distance = (high << lowDistanceBits) + static_cast<int32_t>(low) + 1;
        copyLeft = lengthTree.decodeSymbol(source) + 1;
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

int32_t Decompressor::decodeStream(BitSource& source, BitSink& sink, ProgressFunction progress) {
  uint32_t header = 0;
  source.readBits(&header, kTotalBitsFieldBits);
  int32_t totalBits = static_cast<int32_t>(header);
  // The descriptions are read even when there is nothing to decode.
  literalTree.readCodeTree(source);
  distanceTree.readCodeTree(source);
  lengthTree.readCodeTree(source);
  int32_t bitsDone = 0;
  int32_t symbolIndex = 0;
  if (totalBits <= 0) return 1;
  for (;;) {
    int32_t symbol = nextSymbol(source);
    // The data ended before totalBits bits were produced.
    ENSURE(symbol >= 0);
    int32_t bits = totalBits - bitsDone < symbolBits ? totalBits - bitsDone : symbolBits;
    // A last symbol wider than the bits left is refused by the sink.
    sink.putBitsLowFirst(static_cast<uint32_t>(symbol), bits);
    bitsDone += bits;
    if (progress != nullptr) {
      bool inReportingRun = (symbolIndex & kProgressRunBit) != 0;
      ++symbolIndex;
      if (inReportingRun && progress(static_cast<double>(bitsDone) / static_cast<double>(totalBits)) == 0) return 0;
    }
    if (bitsDone >= totalBits) return 1;
  }
}

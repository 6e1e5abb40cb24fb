#include "payload/decompressor.h"

#include <cstring>

#include "payload/decode_table.h"
#include "base/fatal.h"

namespace {

// Output goes to the sink in runs of up to this many bytes, when the buffer
// is full and whenever the decoder returns or reports progress. Sliding the
// window to the front costs one 8 KiB copy per run, and the whole buffer of
// 24 KiB stays in the processor's nearest caches.
constexpr int32_t kRunBytes = 16 * 1024;
// A match copies up to sixteen bytes at a time and may write up to fifteen
// past its end; they lie in this margin and are overwritten by the output
// after.
constexpr int32_t kCopyOvershoot = 16;
constexpr int32_t kOutputBytes = kFarthestMatch + kRunBytes + kLongestMatch + kCopyOvershoot;

struct LongCode {
  BitWindow window;
  int32_t symbol;
};

// The rest of a code word longer than its table, one bit and one tree node
// at a time as the tree-walking decoder takes all of it. Leaves the window
// refilled.
LongCode walkLongCode(const CodeTree& tree, int32_t node, BitWindow window) {
  // The alphabet without a code, used all the same.
  ENSURE(node != static_cast<int32_t>(kNoTreeNode));
  int32_t steps = 0;
  for (;;) {
    const CodeTreeNode& current = tree.nodes[node];
    if (current.child0 == -1) {
      ENSURE(current.child1 == -1);
      window.refill();
      return LongCode{window, node};
    }
    ENSURE(current.child1 >= 0);
    // A code word taken past the end of the data.
    ENSURE(window.left > 0);
    if (window.count == 0) window.refill();
    int32_t bit = static_cast<int32_t>(window.bits & 1);
    window.drop(1);
    node = bit ? current.child1 : current.child0;
    ++steps;
    ENSURE(steps <= tree.n);
  }
}

}  // namespace

Decompressor::Decompressor()
    : literalTree(kEntrySymbolBits), distanceTree(kDistanceSymbolBits), lengthTree(kLengthSymbolBits) {
  output.resize(kOutputBytes);
  ENSURE(output.count() == kOutputBytes);
}

int32_t Decompressor::decodeStream(MemoryBitSource& source, BitSink& sink, ProgressFunction progress) {
  uint32_t header = 0;
  source.readBits(&header, kTotalBitsFieldBits);
  int32_t totalBits = static_cast<int32_t>(header);
  // The descriptions are read even when there is nothing to decode.
  literalTree.readCodeTree(source);
  distanceTree.readCodeTree(source);
  lengthTree.readCodeTree(source);
  if (totalBits <= 0) return 1;
  buildDecodeTable(literalTree, literalTable, kLiteralTableBits);
  buildDecodeTable(distanceTree, distanceTable, kMatchTableBits);
  buildDecodeTable(lengthTree, lengthTable, kMatchTableBits);
  return decodeItems(source, sink, progress, totalBits);
}

int32_t Decompressor::decodeItems(MemoryBitSource& source, BitSink& sink, ProgressFunction progress,
                                  int32_t totalBits) {
  // Symbols are bytes; a last one of fewer bits is put on its own.
  const int32_t wholeSymbols = totalBits / kEntrySymbolBits;
  const int32_t lastBits = totalBits % kEntrySymbolBits;
  // The window and the reading state live in locals while items are
  // decoded, so that the compiler keeps them in registers: nothing outside
  // this function sees them until they go back to the source.
  // The reading state lives in plain locals while items are decoded, so
  // that the compiler keeps it in registers: nothing outside this function
  // sees it until it goes back to the source.
  const BitWindow start = source.window();
  const uint8_t* next = start.next;
  const uint8_t* const end = start.end;
  uint64_t bits = start.bits;
  int32_t count = start.count;
  int32_t left = start.left;
  uint8_t* const base = output.data();
  uint8_t* const slideAt = base + kFarthestMatch + kRunBytes;
  uint8_t* out = base;       // where the next symbol goes
  uint8_t* handed = base;    // the output before this is the sink's
  int32_t produced = 0;      // symbols decoded and counted

  auto handOn = [&](uint8_t* upTo) {
    if (upTo > handed) sink.putBytes(handed, static_cast<int32_t>(upTo - handed));
    handed = upTo;
  };
  // With the buffer full, the last kFarthestMatch symbols move to its start
  // and the rest has gone to the sink: matches reach no farther back.
  auto slide = [&] {
    handOn(out);
    memmove(base, out - kFarthestMatch, kFarthestMatch);
    out = base + kFarthestMatch;
    handed = out;
  };
  // The lambdas that touch the reading state are inlined wherever they are
  // used: a call would need the locals' addresses and keep them in memory.
  auto take = [&](int32_t n) __attribute__((always_inline)) {
    // A code word or flag taken past the end of the data.
    ENSURE(left >= n);
    bits >>= n;
    count -= n;
    left -= n;
  };
  auto decodeCode = [&](const uint32_t* table, int32_t tableBits, const CodeTree& tree)
                        __attribute__((always_inline)) {
    uint32_t entry = table[bits & ((1u << tableBits) - 1)];
    take(tableEntryBits(entry));
    if ((entry & kLongCode) == 0) return tableEntryValue(entry);
    LongCode code = walkLongCode(tree, tableEntryValue(entry), BitWindow{next, end, bits, count, left});
    next = code.window.next;
    bits = code.window.bits;
    count = code.window.count;
    left = code.window.left;
    return code.symbol;
  };
  // Decodes one item to `out` and returns how many symbols it produced.
  auto decodeItem = [&]() __attribute__((always_inline)) -> int32_t {
    BitWindow::refill(next, end, bits, count);
    // Between two items: the data ended before totalBits bits were produced.
    ENSURE(left > 0 || source.cutAtLimit());
    int32_t flag = static_cast<int32_t>(bits & 1);
    take(1);
    if (flag == 0) {
      *out++ = static_cast<uint8_t>(decodeCode(literalTable, kLiteralTableBits, literalTree));
      return 1;
    }
    int32_t high = decodeCode(distanceTable, kMatchTableBits, distanceTree);
    int32_t low = static_cast<int32_t>(bits & ((1u << kLowDistanceBits) - 1));
    if (left >= kLowDistanceBits) {
      take(kLowDistanceBits);
    } else {
      // A field cut short by the end of the data is short: its missing high
      // bits are the zeros the window holds past the end.
      ENSURE(!source.cutAtLimit());
      bits >>= kLowDistanceBits;
      count -= kLowDistanceBits;
      left = 0;
    }
    int32_t length = decodeCode(lengthTable, kMatchTableBits, lengthTree) + 1;
    int32_t distance = (high << kLowDistanceBits) + low + 1;
    // A match reaching before the first symbol of the stream. The buffer
    // holds at least kFarthestMatch symbols once it has slid, so a distance
    // within `produced` is within the buffer.
    ENSURE(distance <= produced);
    const uint8_t* from = out - distance;
    if (distance >= 16) {
      // Sixteen bytes at a time: each read ends at least as many bytes
      // behind the write it feeds, so it reads only bytes already final,
      // and the up to fifteen bytes written past the match's end lie in the
      // margin.
      for (int32_t i = 0; i < length; i += 16) memcpy(out + i, from + i, 16);
    } else if (distance >= 8) {
      // The same eight bytes at a time.
      for (int32_t i = 0; i < length; i += 8) memcpy(out + i, from + i, 8);
    } else if (distance == 1) {
      memset(out, out[-1], static_cast<size_t>(length));
    } else {
      // Nearer than a word: byte by byte, so that a match overlapping its
      // own output repeats it.
      for (int32_t i = 0; i < length; ++i) out[i] = from[i];
    }
    out += length;
    return length;
  };
#define VM_RETURN_WITH_WINDOW(result)                             \
  do {                                                            \
    source.setWindow(BitWindow{next, end, bits, count, left});    \
    return (result);                                              \
  } while (0)

  // Progress is reported after the item that reaches each multiple of
  // kProgressRunSymbols, with all output up to there handed to the sink
  // first: the progress function learns how far the installation has come
  // from the bytes written. False when it asked to stop.
  int32_t nextReport = kProgressRunSymbols;
  auto report = [&]() -> bool {
    if (progress == nullptr || produced < nextReport) return true;
    nextReport = produced - produced % kProgressRunSymbols + kProgressRunSymbols;
    handOn(out);
    return progress(static_cast<double>(produced) * kEntrySymbolBits / static_cast<double>(totalBits)) != 0;
  };
  const int32_t doneAt = lastBits == 0 ? wholeSymbols : INT32_MAX;
  // Items that begin this far before the last symbol cannot reach past it,
  // and run without looking at each symbol.
  const int32_t quietUpTo = wholeSymbols - kLongestMatch;
  for (;;) {
    if (out > slideAt) slide();
    uint8_t* item = out;
    bool quiet = produced <= quietUpTo;
    int32_t length = decodeItem();
    if (quiet) {
      produced += length;
      if (produced == doneAt) {
        handOn(out);
        VM_RETURN_WITH_WINDOW(1);
      }
    } else {
      // Near the end, one symbol at a time: the stream may end inside the
      // item.
      for (int32_t k = 0; k < length; ++k) {
        int32_t index = produced++;
        if (index == wholeSymbols) {
          // The last symbol has fewer than 8 bits; one wider than them is
          // refused by the sink.
          handOn(item + k);
          sink.putBitsLowFirst(item[k], lastBits);
          handed = item + k + 1;
          VM_RETURN_WITH_WINDOW(1);
        }
        if (produced == doneAt) {
          handOn(item + k + 1);
          VM_RETURN_WITH_WINDOW(1);
        }
      }
    }
    if (!report()) {
      // Stopped: the sink gets exactly the symbols up to this item's end.
      VM_RETURN_WITH_WINDOW(0);
    }
  }
#undef VM_RETURN_WITH_WINDOW
}

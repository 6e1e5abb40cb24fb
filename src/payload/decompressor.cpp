#include "payload/decompressor.h"

#include <cstring>
#include <type_traits>

#include "payload/decode_table.h"
#include "base/fatal.h"

namespace {

// Output goes to the sink in runs of up to this many bytes, when the buffer
// is full and whenever the decoder returns or reports progress. Sliding the
// window to the front costs one 8 KiB copy per run.
constexpr int32_t kRunBytes = 16 * 1024;
// Past the last symbol an item may start at: a match writes up to
// kLongestMatch symbols, and copies sixteen bytes at a time, which may write
// up to fifteen past its end. They lie in this margin and are overwritten by
// the output after.
constexpr int32_t kCopyOvershoot = 16;
constexpr int32_t kItemMargin = kLongestMatch + kCopyOvershoot;
constexpr int32_t kOutputBytes = kFarthestMatch + kRunBytes + kItemMargin;
// The fast loop's passes (see decodeItems): up to this many literal entries,
// or one match, from one refill of at least kWindowFill bits. A literal entry
// holds one literal or two (a pair), so a pass puts out at most
// kPassLiterals symbols of literals.
constexpr int32_t kLiteralEntriesPerPass = 4;
constexpr int32_t kPassLiterals = 2 * kLiteralEntriesPerPass;
static_assert(kLiteralEntriesPerPass * kItemTableBits <= BitWindow::kWindowFill, "four entries fit one refill");
static_assert(kItemTableBits + kLowDistanceBits + kLengthTableBits <= BitWindow::kWindowFill,
              "a match fits one refill");
static_assert(kPassLiterals <= kLongestMatch, "a pass puts out no more than a match");
constexpr uint32_t kItemMask = (1u << kItemTableBits) - 1;
constexpr uint32_t kItemCodeMask = (1u << kItemCodeBits) - 1;
constexpr uint32_t kLengthMask = (1u << kLengthTableBits) - 1;
constexpr uint32_t kLowDistanceMask = (1u << kLowDistanceBits) - 1;

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
  buildDecodeTable(literalTree, itemTable, TableForm{kItemCodeBits, 1, 0, 1, 0, 0});
  buildDecodeTable(distanceTree, itemTable, TableForm{kItemCodeBits, 1, 1, 1 << kLowDistanceBits, 1, kLowDistanceBits});
  pairLiterals(itemTable, kItemTableBits);
  buildDecodeTable(lengthTree, lengthTable, TableForm{kLengthTableBits, 0, 0, 1, 1, 0});
  return decodeItems(source, sink, progress, totalBits);
}

int32_t Decompressor::decodeItems(MemoryBitSource& source, BitSink& sink, ProgressFunction progress,
                                  int32_t totalBits) {
  // Symbols are bytes; a last one of fewer bits is put on its own.
  const int32_t wholeSymbols = totalBits / kEntrySymbolBits;
  const int32_t lastBits = totalBits % kEntrySymbolBits;
  // The reading state lives in plain locals while items are decoded, so
  // that the compiler keeps it in registers: nothing outside this function
  // sees it until it goes back to the source.
  const BitWindow start = source.window();
  const uint8_t* next = start.next;
  const uint8_t* const end = start.end;
  uint64_t bits = start.bits;
  int32_t count = start.count;
  int32_t left = start.left;
  // The output goes into the buffer, which also holds the window, or, where
  // the sink offers the block that keeps it, straight there, until an item
  // could reach the block's end; the window then moves to the buffer. Either
  // way `base` is where the stream's first symbol went until the buffer
  // slides.
  uint8_t* const buffer = output.data();
  uint8_t* base = buffer;
  uint8_t* slideAt = buffer + kFarthestMatch + kRunBytes;
  int32_t room = 0;
  uint8_t* const block = sink.directBlock(&room);
  if (block != nullptr && room > kItemMargin) {
    base = block;
    slideAt = block + (room - kItemMargin);
  }
  uint8_t* out = base;       // where the next symbol goes
  uint8_t* handed = base;    // the output before this is the sink's
  int32_t produced = 0;      // symbols decoded and counted

  auto handOn = [&](uint8_t* upTo) {
    if (upTo > handed) sink.putBytes(handed, static_cast<int32_t>(upTo - handed));
    handed = upTo;
  };
  // With no room left for an item, the last kFarthestMatch symbols (all
  // there are, when fewer) move to the buffer's start and the rest has gone
  // to the sink: matches reach no farther back.
  auto slide = [&] {
    handOn(out);
    int32_t kept = out - base < kFarthestMatch ? static_cast<int32_t>(out - base) : kFarthestMatch;
    memmove(buffer, out - kept, static_cast<size_t>(kept));
    // Fewer kept symbols than the farthest distance are all the stream has
    // put out: its first now lies at the buffer's start.
    base = buffer;
    out = buffer + kept;
    handed = out;
    slideAt = buffer + kFarthestMatch + kRunBytes;
  };
  // A match of `length` symbols from `distance` back, at `out`. The caller
  // has checked the distance against the output so far.
  auto copyMatch = [&](uint32_t distance, uint32_t length) __attribute__((always_inline)) {
    const uint8_t* from = out - distance;
    uint8_t* to = out;
    uint8_t* const stop = out + length;
    // The far copy first, and laid out as the straight path: it is the
    // common one, and a taken branch there costs every match.
    if (__builtin_expect(distance >= 16, 1)) {
      // Sixteen bytes at a time: each read ends at least as many bytes
      // behind the write it feeds, so it reads only bytes already final,
      // and the up to fifteen bytes written past the match's end lie in the
      // margin.
      do {
        memcpy(to, from, 16);
        to += 16;
        from += 16;
      } while (to < stop);
    } else if (distance == 1) {
      // A run of one byte, eight at a time; up to seven land in the margin.
      uint64_t run = out[-1] * 0x0101010101010101ull;
      do {
        memcpy(to, &run, 8);
        to += 8;
      } while (to < stop);
    } else {
      // Nearer than sixteen: a word at a time all the same, each read
      // before its write and advancing by the distance when that is less
      // than the word, so that every word read starts with `distance` final
      // bytes and a match overlapping its own output repeats them.
      const uint32_t step = distance < 8 ? distance : 8;
      do {
        uint64_t word;
        memcpy(&word, from, 8);
        memcpy(to, &word, 8);
        to += step;
        from += step;
      } while (to < stop);
    }
    out = stop;
  };
  // The careful decoding of one item, for anywhere in the stream: every
  // take is checked against the end of the data, and code words of any
  // length are walked. The lambdas that touch the reading state are inlined
  // wherever they are used: a call would need the locals' addresses and keep
  // them in memory.
  auto take = [&](int32_t n) __attribute__((always_inline)) {
    // A code word or flag taken past the end of the data.
    ENSURE(left >= n);
    bits >>= n;
    count -= n;
    left -= n;
  };
  // The entry's code word, after `prefixBits` bits already taken; a leaf's
  // value, or symbol * scale + offset for a code walked to its end.
  auto decodeCode = [&](uint32_t entry, int32_t prefixBits, const CodeTree& tree, int32_t scale, int32_t offset)
                        __attribute__((always_inline)) {
    take(tableEntryBits(entry) - prefixBits);
    if ((entry & kLongCode) == 0) return tableEntryValue(entry);
    LongCode code = walkLongCode(tree, tableEntryValue(entry), BitWindow{next, end, bits, count, left});
    next = code.window.next;
    bits = code.window.bits;
    count = code.window.count;
    left = code.window.left;
    return code.symbol * scale + offset;
  };
  // Decodes one item to `out` and returns how many symbols it produced. A
  // literal pair's entry gives its first literal only.
  auto decodeItem = [&]() __attribute__((always_inline)) -> int32_t {
    BitWindow::refill(next, end, bits, count);
    // Between two items: the data ended before totalBits bits were produced.
    ENSURE(left > 0 || source.cutAtLimit());
    int32_t flag = static_cast<int32_t>(bits & 1);
    take(1);
    if (flag == 0) {
      uint32_t entry = itemTable[(static_cast<uint32_t>(bits) & kItemCodeMask) << 1];
      *out++ = static_cast<uint8_t>(decodeCode(entry, 1, literalTree, 1, 0));
      return 1;
    }
    uint32_t entry = itemTable[(static_cast<uint32_t>(bits) & kItemCodeMask) << 1 | 1];
    int32_t distance = decodeCode(entry, 1, distanceTree, 1 << kLowDistanceBits, 1);
    distance += static_cast<int32_t>(bits & kLowDistanceMask);
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
    int32_t length = decodeCode(lengthTable[bits & kLengthMask], 0, lengthTree, 1, 1);
    // A match reaching before the first symbol of the stream. The buffer
    // holds at least kFarthestMatch symbols once it has slid, so a distance
    // within `produced` is within the buffer.
    ENSURE(distance <= produced);
    copyMatch(static_cast<uint32_t>(distance), static_cast<uint32_t>(length));
    return length;
  };

  // Progress is reported after the item that reaches each multiple of
  // kProgressRunSymbols, with all output up to there handed to the sink
  // first: the progress function learns how far the installation has come
  // from the bytes written. False when it asked to stop.
  int32_t nextReport = progress != nullptr ? kProgressRunSymbols : INT32_MAX;
  auto report = [&]() -> bool {
    if (produced < nextReport) return true;
    nextReport = produced - produced % kProgressRunSymbols + kProgressRunSymbols;
    handOn(out);
    return progress(static_cast<double>(produced) * kEntrySymbolBits / static_cast<double>(totalBits)) != 0;
  };

  // The fast loop: passes that each refill the window with one word load and
  // decode from it one match or up to kLiteralEntriesPerPass literal entries
  // whose code words the tables hold whole. Its bounds are checked once per
  // pass and keep every pass clear of what needs the careful decoding: the
  // end of the data (every bit a pass takes is a real one, loaded from the
  // range), the end of the output's room, the end of the stream and the
  // next progress report. A pass stops short of a long code word and leaves
  // its item to the careful decoding, which takes it from its start.
  //
  // `checked` is std::true_type while fewer than kFarthestMatch symbols lie
  // before `out` since `base`, and each match's distance is checked against
  // them; from there on every distance is within the output, and the passes
  // run without the check (and without `base` in a register).
  auto decodeFast = [&](auto checked) __attribute__((always_inline)) {
    // Every pass starts at an output position short of this: a match ends
    // at most kLongestMatch symbols later, still inside the margin behind
    // slideAt, and short of the last symbol, which only the careful loop may
    // reach. A pass's literals, at most kPassLiterals, reach a report point
    // with the last of them at the latest, so that the report follows at
    // once after the item that reached it.
    int64_t outRoom = slideAt + 1 - out;
    int64_t beforeEnd = static_cast<int64_t>(wholeSymbols) - kLongestMatch - produced;
    int64_t beforeReport = static_cast<int64_t>(nextReport) - (kPassLiterals - 1) - produced;
    if (beforeEnd < outRoom) outRoom = beforeEnd;
    if (beforeReport < outRoom) outRoom = beforeReport;
    if (checked && kFarthestMatch - (out - base) < outRoom) outRoom = kFarthestMatch - (out - base);
    // A pass starts with its word load no nearer than 8 bytes to the end of
    // the range, so the load stays inside it. The bits it loads are all
    // counted in `left` too (less than the range only in a range cut at the
    // limit): whatever a pass takes is real data, so no take needs a check.
    int64_t inRoom = end - next - 8;
    int64_t budget = (static_cast<int64_t>(left) - count) / 8 - 7;
    if (budget < inRoom) inRoom = budget;
    if (outRoom <= 0 || inRoom < 0) return;
    // One bound for both: a pass's refill moves `next` on by at most 7
    // bytes, and a pass puts out at least one symbol, so while `out` is less
    // than k symbols past its start, at most k - 1 refills have gone before
    // and the next one starts at most 7 (k - 1) bytes on.
    if (inRoom / 7 + 1 < outRoom) outRoom = inRoom / 7 + 1;
    uint8_t* const outStart = out;
    uint8_t* const outFastEnd = out + outRoom;
    const uint8_t* const nextStart = next;
    const int32_t countStart = count;
    // Takes the literal entry's one or two literals and looks up the next
    // item's entry. Both literals are stored at once; after a single one
    // the second byte is overwritten by the output after. The look may reach
    // past `count`: after a word load all 64 bits of `bits` are the
    // stream's, so the 12 bits looked at are real as long as at most 52 have
    // been taken since the load (four entries take 48), and the next load
    // ORs the same bits there again.
    auto literals = [&](uint32_t& entry) __attribute__((always_inline)) {
      uint16_t both = static_cast<uint16_t>(entry >> kTableEntryValueShift);
      int32_t n = tableEntryNext(entry);
      bits >>= n;
      count -= n;
      memcpy(out, &both, 2);
      out += 1 + ((entry & kLiteralPair) != 0);
      entry = itemTable[bits & kItemMask];
    };
    BitWindow::refillWord(next, bits, count);
    uint32_t entry = itemTable[bits & kItemMask];
    for (;;) {
      // Each item's kind is decided by its flag bit in `bits` itself, not
      // by the entry: the branch, which no predictor gets right much more
      // often than the mix of literals and matches allows, is resolved
      // while the entry's look is still under way.
      if ((bits & 1) == 0) {
        // Literal entries while they come, each one flag bit and a code word
        // within the table's width, or two of them: four take at most 48 of
        // the 56 bits.
        if ((entry & kLongCode) != 0) break;
        literals(entry);
        // Three more at most, unrolled, each with a branch of its own for
        // the predictor; a long code word waits for the next pass, which
        // stops at it.
        auto literalFollows = [&] { return (bits & 1) == 0 && (entry & kLongCode) == 0; };
        if (literalFollows()) {
          literals(entry);
          if (literalFollows()) {
            literals(entry);
            if (literalFollows()) literals(entry);
          }
        }
      } else {
        if ((entry & kLongCode) != 0) break;
        // A match: the flag and the distance's high part, its seven plain
        // low bits and the length's code word, at most 12 + 7 + 10 = 29
        // bits, taken at once when the length's code word is within its
        // table. The entry's `next` leads straight to the length's code.
        uint64_t atLength = bits >> tableEntryNext(entry);
        uint32_t lengthEntry = lengthTable[atLength & kLengthMask];
        uint32_t distance = tableEntryValue(entry) + (static_cast<uint32_t>(bits >> tableEntryBits(entry)) & kLowDistanceMask);
        if ((lengthEntry & kLongCode) != 0) break;
        int32_t n = tableEntryNext(entry) + tableEntryNext(lengthEntry);
        bits = atLength >> tableEntryNext(lengthEntry);
        count -= n;
        entry = itemTable[bits & kItemMask];
        // A match reaching before the first symbol of the stream, which is
        // at `base` while fewer than the farthest distance lie before `out`.
        if (checked) ENSURE(distance <= static_cast<uint32_t>(out - base));
        copyMatch(distance, static_cast<uint32_t>(tableEntryValue(lengthEntry)));
      }
      if (out >= outFastEnd) break;
      BitWindow::refillWord(next, bits, count);
    }
    left -= static_cast<int32_t>((next - nextStart) * 8 + countStart - count);
    produced += static_cast<int32_t>(out - outStart);
  };
#define VM_RETURN_WITH_WINDOW(result)                             \
  do {                                                            \
    source.setWindow(BitWindow{next, end, bits, count, left});    \
    return (result);                                              \
  } while (0)

  const int32_t doneAt = lastBits == 0 ? wholeSymbols : INT32_MAX;
  // Items that begin this far before the last symbol cannot reach past it,
  // and run without looking at each symbol.
  const int32_t quietUpTo = wholeSymbols - kLongestMatch;
  for (;;) {
    if (out > slideAt) slide();
    if (out - base < kFarthestMatch) {
      decodeFast(std::true_type());
    } else {
      decodeFast(std::false_type());
    }
    if (!report()) {
      // Stopped: the sink gets exactly the symbols up to this item's end.
      VM_RETURN_WITH_WINDOW(0);
    }
    // The careful decoding of one item where the fast loop stopped.
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
    if (!report()) VM_RETURN_WITH_WINDOW(0);
  }
#undef VM_RETURN_WITH_WINDOW
}

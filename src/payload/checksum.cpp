#include "payload/checksum.h"

DynArray<uint32_t> crcTable;

namespace {

constexpr int32_t kCrcSliceSize = 256;
constexpr int32_t kCrcSlices = 8;
// Three lanes of this many bytes make one block of crcUpdateBlock.
constexpr int32_t kLaneBytes = 256;
constexpr int32_t kLanes = 3;
constexpr int32_t kLaneShiftStart = kCrcSliceSize * kCrcSlices;
static_assert(kCrcTableSize == kLaneShiftStart + 4 * kCrcSliceSize, "the lane shift follows the slices");

uint32_t loadBigEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
         static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
}

}  // namespace

void buildCrcTable() {
  if (crcTable.count() == kCrcTableSize) return;
  crcTable.resize(kCrcTableSize);
  // A failed allocation leaves the table short; the first checksum then ends
  // in the internal error rather than in a wrong value.
  if (crcTable.count() != kCrcTableSize) return;
  for (int32_t i = 0; i < kCrcSliceSize; ++i) {
    uint32_t value = static_cast<uint32_t>(i) << 24;
    for (int round = 0; round < 8; ++round) {
      bool carry = (value & 0x80000000u) != 0;
      value <<= 1;
      if (carry) value ^= kCrcPolynomial;
    }
    crcTable[i] = value;
  }
  // Slice k holds what a byte does to the state when k zero bytes follow it.
  for (int32_t i = kCrcSliceSize; i < kLaneShiftStart; ++i) {
    uint32_t before = crcTable[i - kCrcSliceSize];
    crcTable[i] = (before << 8) ^ crcTable[static_cast<int32_t>(before >> 24)];
  }
  // The lane shift: what kLaneBytes zero bytes do to a state, for each byte
  // of it apart, four slices. The state's update is linear, so the shift of
  // a state is the sum (XOR) of the shifts of its single bits, and the table
  // is made of those 32 sums.
  uint32_t bitShift[32];
  for (int32_t bit = 0; bit < 32; ++bit) {
    uint32_t state = 1u << bit;
    for (int32_t i = 0; i < kLaneBytes; ++i) state = (state << 8) ^ crcTable[static_cast<int32_t>(state >> 24)];
    bitShift[bit] = state;
  }
  for (int32_t slice = 0; slice < 4; ++slice) {
    for (int32_t value = 0; value < kCrcSliceSize; ++value) {
      uint32_t shifted = 0;
      for (int32_t bit = 0; bit < 8; ++bit)
        if ((value >> bit) & 1) shifted ^= bitShift[8 * slice + bit];
      crcTable[kLaneShiftStart + slice * kCrcSliceSize + value] = shifted;
    }
  }
}

uint32_t crcUpdate(uint32_t state, uint8_t byte) {
  return (state << 8) ^ crcTable[static_cast<int32_t>((state >> 24) ^ byte)];
}

namespace {

// Slicing by 8: eight bytes take eight independent table lookups instead
// of a chain of eight dependent ones. Every index is a byte value below
// 256 added to a slice's start, so the lookups stay inside the table.
inline uint32_t crcUpdateEight(const uint32_t* t, uint32_t state, const uint8_t* bytes) {
  uint32_t x = state ^ loadBigEndian32(bytes);
  return t[7 * kCrcSliceSize + (x >> 24)] ^ t[6 * kCrcSliceSize + ((x >> 16) & 0xFF)] ^
         t[5 * kCrcSliceSize + ((x >> 8) & 0xFF)] ^ t[4 * kCrcSliceSize + (x & 0xFF)] ^
         t[3 * kCrcSliceSize + bytes[4]] ^ t[2 * kCrcSliceSize + bytes[5]] ^ t[kCrcSliceSize + bytes[6]] ^
         t[bytes[7]];
}

// The state after kLaneBytes zero bytes, from the lane shift's slices.
inline uint32_t crcLaneShift(const uint32_t* t, uint32_t state) {
  const uint32_t* shift = t + kLaneShiftStart;
  return shift[3 * kCrcSliceSize + (state >> 24)] ^ shift[2 * kCrcSliceSize + ((state >> 16) & 0xFF)] ^
         shift[kCrcSliceSize + ((state >> 8) & 0xFF)] ^ shift[state & 0xFF];
}

}  // namespace

uint32_t crcUpdateBlock(uint32_t state, const uint8_t* bytes, int32_t count) {
  ENSURE(count >= 0);
  ENSURE(crcTable.count() == kCrcTableSize);
  const uint32_t* t = crcTable.data();
  // One chain of slicing by 8 waits on each lookup before the next eight
  // bytes; three chains over three lanes of a block run side by side. The
  // update is linear: the state after lanes a, b and c from state s is that
  // after a from s, shifted over b and c, plus that after b from zero,
  // shifted over c, plus that after c from zero.
  for (; count >= kLanes * kLaneBytes; bytes += kLanes * kLaneBytes, count -= kLanes * kLaneBytes) {
    uint32_t a = state;
    uint32_t b = 0;
    uint32_t c = 0;
    for (int32_t i = 0; i < kLaneBytes; i += 8) {
      a = crcUpdateEight(t, a, bytes + i);
      b = crcUpdateEight(t, b, bytes + kLaneBytes + i);
      c = crcUpdateEight(t, c, bytes + 2 * kLaneBytes + i);
    }
    state = crcLaneShift(t, crcLaneShift(t, a) ^ b) ^ c;
  }
  for (; count >= 8; bytes += 8, count -= 8) state = crcUpdateEight(t, state, bytes);
  for (; count > 0; ++bytes, --count) state = (state << 8) ^ t[(state >> 24) ^ *bytes];
  return state;
}

uint32_t payloadChecksum(const uint8_t* bytes, int32_t count) {
  buildCrcTable();
  return ~crcUpdateBlock(kCrcInitialState, bytes, count);
}

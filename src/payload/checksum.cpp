#include "payload/checksum.h"

DynArray<uint32_t> crcTable;

namespace {

constexpr int32_t kCrcSliceSize = 256;
constexpr int32_t kCrcSlices = 8;
constexpr int32_t kCrcTableSize = kCrcSliceSize * kCrcSlices;

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
  for (int32_t i = kCrcSliceSize; i < kCrcTableSize; ++i) {
    uint32_t before = crcTable[i - kCrcSliceSize];
    crcTable[i] = (before << 8) ^ crcTable[static_cast<int32_t>(before >> 24)];
  }
}

uint32_t crcUpdate(uint32_t state, uint8_t byte) {
  return (state << 8) ^ crcTable[static_cast<int32_t>((state >> 24) ^ byte)];
}

uint32_t crcUpdateBlock(uint32_t state, const uint8_t* bytes, int32_t count) {
  ENSURE(count >= 0);
  ENSURE(crcTable.count() == kCrcTableSize);
  // Slicing by 8: eight bytes take eight independent table lookups instead
  // of a chain of eight dependent ones. Every index is a byte value below
  // 256 added to a slice's start, so the lookups stay inside the table
  // checked above without a check each.
  const uint32_t* t = crcTable.data();
  for (; count >= 8; bytes += 8, count -= 8) {
    uint32_t x = state ^ loadBigEndian32(bytes);
    state = t[7 * kCrcSliceSize + (x >> 24)] ^ t[6 * kCrcSliceSize + ((x >> 16) & 0xFF)] ^
            t[5 * kCrcSliceSize + ((x >> 8) & 0xFF)] ^ t[4 * kCrcSliceSize + (x & 0xFF)] ^
            t[3 * kCrcSliceSize + bytes[4]] ^ t[2 * kCrcSliceSize + bytes[5]] ^ t[kCrcSliceSize + bytes[6]] ^
            t[bytes[7]];
  }
  for (; count > 0; ++bytes, --count) state = (state << 8) ^ t[(state >> 24) ^ *bytes];
  return state;
}

uint32_t payloadChecksum(const uint8_t* bytes, int32_t count) {
  buildCrcTable();
  return ~crcUpdateBlock(kCrcInitialState, bytes, count);
}

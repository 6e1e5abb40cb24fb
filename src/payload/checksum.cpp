#include "payload/checksum.h"

DynArray<uint32_t> crcTable;

namespace {

constexpr int32_t kCrcTableSize = 256;

}  // namespace

void buildCrcTable() {
  if (crcTable.count() == kCrcTableSize) return;
  crcTable.resize(kCrcTableSize);
  // A failed allocation leaves the table short; the first lookup then ends in
  // the bounds check rather than in a wrong checksum.
  if (crcTable.count() != kCrcTableSize) return;
  for (int32_t i = 0; i < kCrcTableSize; ++i) {
    uint32_t value = static_cast<uint32_t>(i) << 24;
    for (int round = 0; round < 8; ++round) {
      bool carry = (value & 0x80000000u) != 0;
      value <<= 1;
      if (carry) value ^= kCrcPolynomial;
    }
    crcTable[i] = value;
  }
}

uint32_t crcUpdate(uint32_t state, uint8_t byte) {
  return (state << 8) ^ crcTable[static_cast<int32_t>((state >> 24) ^ byte)];
}

uint32_t payloadChecksum(const uint8_t* bytes, int32_t count) {
  buildCrcTable();
  uint32_t state = kCrcInitialState;
  for (int32_t i = 0; i < count; ++i) state = crcUpdate(state, bytes[i]);
  return ~state;
}

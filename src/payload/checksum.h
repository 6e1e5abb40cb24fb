// The 32-bit CRC that guards payload entries and each file inside them:
// polynomial 0x04C11DB7, bits taken most significant first, initial value
// 0xFFFFFFFF, final value inverted (the parameter set known as CRC-32/BZIP2).
#ifndef VM_PAYLOAD_CHECKSUM_H
#define VM_PAYLOAD_CHECKSUM_H

#include <cstdint>

#include "payload/containers.h"

constexpr uint32_t kCrcPolynomial = 0x04C11DB7u;
constexpr uint32_t kCrcInitialState = 0xFFFFFFFFu;

// The 256 table values, filled the first time a checksum is needed and never
// changed afterwards.
extern DynArray<uint32_t> crcTable;

// Fills crcTable unless it already holds all 256 values.
void buildCrcTable();

// Feeds one byte into a running CRC state. The table must have been built.
uint32_t crcUpdate(uint32_t state, uint8_t byte);

// The CRC of `count` bytes (0 for none), building the table when needed.
uint32_t payloadChecksum(const uint8_t* bytes, int32_t count);

#endif  // VM_PAYLOAD_CHECKSUM_H

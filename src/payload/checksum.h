// The 32-bit CRC that guards payload entries and each file inside them:
// polynomial 0x04C11DB7, bits taken most significant first, initial value
// 0xFFFFFFFF, final value inverted (the parameter set known as CRC-32/BZIP2).
#ifndef VM_PAYLOAD_CHECKSUM_H
#define VM_PAYLOAD_CHECKSUM_H

#include <cstdint>

#include "base/containers.h"

constexpr uint32_t kCrcPolynomial = 0x04C11DB7u;
constexpr uint32_t kCrcInitialState = 0xFFFFFFFFu;

// Eight slices of 256 values, then the four of the shift over a lane of
// crcUpdateBlock, filled the first time a checksum is needed and never
// changed afterwards. The first slice is the classic byte table.
extern DynArray<uint32_t> crcTable;
constexpr int32_t kCrcTableSize = 12 * 256;

// Set when the table is built: crcUpdateBlock folds runs of at least
// kFoldedCrcMinimum bytes with the processor's carry-less multiply
// (processorHasCarrylessMultiply) instead of looking each byte up. Tests
// clear it to check the tables' way.
extern bool crcFolds;
constexpr int32_t kFoldedCrcMinimum = 64;

// Fills crcTable unless it already holds all its values.
void buildCrcTable();

// Feeds one byte into a running CRC state. The table must have been built.
uint32_t crcUpdate(uint32_t state, uint8_t byte);

// Feeds `count` bytes into a running CRC state, folded (see crcFolds) or in
// blocks of three lanes and eight bytes at a time; the same state as
// crcUpdate byte by byte. The table must have been built.
uint32_t crcUpdateBlock(uint32_t state, const uint8_t* bytes, int32_t count);

// The CRC of `count` bytes (0 for none), building the table when needed.
uint32_t payloadChecksum(const uint8_t* bytes, int32_t count);

#endif  // VM_PAYLOAD_CHECKSUM_H

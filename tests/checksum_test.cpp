// The payload CRC: the published check value, the empty input, and the table
// that is built once and shared by every checksum.
#include <cstring>

#include "payload/checksum.h"
#include "sim_fixture.h"

using ChecksumTest = SimTest;

TEST_F(ChecksumTest, MatchesTheCheckValueOfCrc32Bzip2AndGivesZeroForNothing) {
  const char digits[] = "123456789";
  EXPECT_EQ(payloadChecksum(reinterpret_cast<const uint8_t*>(digits), 9), 0xFC891918u);
  EXPECT_EQ(payloadChecksum(nullptr, 0), 0u);
}

TEST_F(ChecksumTest, RunningStateOverBytesEqualsTheChecksumOfTheWhole) {
  // How the extraction checks a file as it writes it, byte by byte.
  const char text[] = "Velk Modular";
  buildCrcTable();
  uint32_t state = kCrcInitialState;
  for (size_t i = 0; i < strlen(text); ++i) state = crcUpdate(state, static_cast<uint8_t>(text[i]));
  EXPECT_EQ(~state, payloadChecksum(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(strlen(text))));
}

TEST_F(ChecksumTest, TableIsBuiltOnceWithTheMostSignificantBitFirstPolynomial) {
  buildCrcTable();
  ASSERT_EQ(crcTable.count(), 256);
  EXPECT_EQ(crcTable[0], 0u);
  EXPECT_EQ(crcTable[1], kCrcPolynomial);
  EXPECT_EQ(crcTable[128], 0x690CE0EEu);
  // A second build leaves the table alone: no new block from the heap.
  int blocks = sim::liveHeapBlocks();
  buildCrcTable();
  EXPECT_EQ(sim::liveHeapBlocks(), blocks);
}

TEST_F(ChecksumTest, ChangingAnyOneByteChangesTheChecksum) {
  uint8_t bytes[64];
  for (int i = 0; i < 64; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  uint32_t original = payloadChecksum(bytes, 64);
  for (int i = 0; i < 64; ++i) {
    bytes[i] ^= 0x10;
    EXPECT_NE(payloadChecksum(bytes, 64), original) << "byte " << i;
    bytes[i] ^= 0x10;
  }
}

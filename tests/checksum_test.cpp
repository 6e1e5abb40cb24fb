// The payload CRC: the published check value, the empty input, the table
// that is built once and shared by every checksum, and the folded and looked
// up ways of a block against one byte at a time.
#include <cstring>
#include <vector>

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

TEST_F(ChecksumTest, BlocksGiveTheStateOfOneByteAtATimeFoldedOrLookedUp) {
  // Every length up to a few blocks from every alignment, then long runs:
  // the folding and its tails, and the tables' slices, lanes, block loops
  // and tails, each against the byte table. Folding is tried only where
  // this processor can.
  std::vector<uint8_t> bytes(4099);
  uint32_t seed = 12345;
  for (uint8_t& byte : bytes) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(seed >> 16);
  }
  buildCrcTable();
  const bool canFold = crcFolds;
  auto byteByByte = [&](uint32_t state, size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i) state = crcUpdate(state, bytes[i]);
    return state;
  };
  for (bool folds : {false, true}) {
    if (folds && !canFold) continue;
    crcFolds = folds;
    for (uint32_t state : {0x5A5A1234u, kCrcInitialState, 0u}) {
      for (size_t from = 0; from < 16; ++from) {
        for (size_t count = 0; count <= 200; ++count) {
          ASSERT_EQ(crcUpdateBlock(state, bytes.data() + from, static_cast<int32_t>(count)),
                    byteByByte(state, from, count))
              << count << " bytes from " << from << (folds ? ", folded" : "");
        }
      }
      // Long runs, and the tables' blocks of three lanes with every kind of tail.
      for (size_t count : {768, 769, 775, 776, 1536, 2309, 4096})
        EXPECT_EQ(crcUpdateBlock(state, bytes.data() + 3, static_cast<int32_t>(count)), byteByByte(state, 3, count))
            << count << " bytes" << (folds ? ", folded" : "");
    }
  }
  crcFolds = canFold;
}

TEST_F(ChecksumTest, TableIsBuiltOnceWithTheMostSignificantBitFirstPolynomial) {
  buildCrcTable();
  ASSERT_EQ(crcTable.count(), kCrcTableSize);
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

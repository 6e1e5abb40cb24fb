#include "payload/checksum.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define VM_CRC_FOLDS 1
#endif

#include "platform/win32.h"

DynArray<uint32_t> crcTable;
bool crcFolds = false;

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

// x^n modulo the polynomial: its 32 low coefficients, bit i for x^i.
uint32_t powerOfXModulo(int32_t n) {
  uint32_t remainder = 1;
  for (int32_t i = 0; i < n; ++i) remainder = (remainder << 1) ^ ((remainder >> 31) != 0 ? kCrcPolynomial : 0);
  return remainder;
}

// What folding multiplies the high and the low half of a 16-byte block by
// to carry it over 16 bytes (x^192 and x^128) and over 64 (x^576 and
// x^512), modulo the polynomial.
struct FoldFactors {
  uint32_t high16, low16, high64, low64;
};
FoldFactors foldFactors;

}  // namespace

void buildCrcTable() {
  if (crcTable.count() == kCrcTableSize) return;
  crcTable.resize(kCrcTableSize);
  // A failed allocation leaves the table short; the first checksum then ends
  // in the internal error rather than in a wrong value.
  if (crcTable.count() != kCrcTableSize) return;
  foldFactors = FoldFactors{powerOfXModulo(192), powerOfXModulo(128), powerOfXModulo(576), powerOfXModulo(512)};
#ifdef VM_CRC_FOLDS
  crcFolds = processorHasCarrylessMultiply();
#endif
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

#ifdef VM_CRC_FOLDS

// Folding. Read most significant bit first, 16 bytes are a polynomial A of
// degree below 128, and the bytes so far are congruent, modulo the CRC's
// polynomial P, to A as their last 16 bytes: A = H x^64 + L followed by
// 16 more bytes B is A x^128 + B = H x^192 + L x^128 + B, congruent to
// H (x^192 mod P) + L (x^128 mod P) + B, again of degree below 128 (two
// carry-less products of 64 by 32 bits). The state the table gives for A's
// 16 bytes from zero is then that of all of them, since it depends on the
// bytes only modulo P. Four blocks are folded side by side, each over the
// 64 bytes to its next one, so that the products' latency overlaps.
//
// The SSE instructions run only where processorHasCarrylessMultiply said the
// processor has them and the system keeps their registers. The stack may be
// aligned to 4 bytes only (a Windows callback's), which the function
// realigns for whatever it spills.
#define VM_CRC_FOLD_TARGET __attribute__((target("pclmul,ssse3"), always_inline)) inline

VM_CRC_FOLD_TARGET __m128i crcFoldLoad(const uint8_t* bytes) {
  // Bytes 15 down to 0: the first byte becomes the highest eight
  // coefficients.
  const __m128i reversed = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), reversed);
}

// The block carried over to where `next` lies, plus `next`: the block's
// high half times the factors' high one (0x11), its low half times their
// low one (0x00).
VM_CRC_FOLD_TARGET __m128i crcFoldOver(__m128i block, __m128i factors, __m128i next) {
  __m128i high = _mm_clmulepi64_si128(block, factors, 0x11);
  __m128i low = _mm_clmulepi64_si128(block, factors, 0x00);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

VM_CRC_FOLD_TARGET __m128i crcFoldFactors(uint32_t high, uint32_t low) {
  return _mm_set_epi32(0, static_cast<int32_t>(high), 0, static_cast<int32_t>(low));
}

__attribute__((target("pclmul,ssse3"), force_align_arg_pointer, noinline)) uint32_t crcUpdateFolded(
    const uint32_t* t, uint32_t state, const uint8_t* bytes, int32_t count) {
  const __m128i over16 = crcFoldFactors(foldFactors.high16, foldFactors.low16);
  const __m128i over64 = crcFoldFactors(foldFactors.high64, foldFactors.low64);
  // Every load reads 16 bytes that `count` still covers: the caller gives at
  // least 64, and each loop takes only blocks it has whole. The running state
  // goes into the first four bytes, as the table would have it there.
  __m128i a = _mm_xor_si128(crcFoldLoad(bytes), _mm_set_epi32(static_cast<int32_t>(state), 0, 0, 0));
  __m128i b = crcFoldLoad(bytes + 16);
  __m128i c = crcFoldLoad(bytes + 32);
  __m128i d = crcFoldLoad(bytes + 48);
  bytes += 64;
  count -= 64;
  for (; count >= 64; bytes += 64, count -= 64) {
    a = crcFoldOver(a, over64, crcFoldLoad(bytes));
    b = crcFoldOver(b, over64, crcFoldLoad(bytes + 16));
    c = crcFoldOver(c, over64, crcFoldLoad(bytes + 32));
    d = crcFoldOver(d, over64, crcFoldLoad(bytes + 48));
  }
  a = crcFoldOver(crcFoldOver(crcFoldOver(a, over16, b), over16, c), over16, d);
  for (; count >= 16; bytes += 16, count -= 16) a = crcFoldOver(a, over16, crcFoldLoad(bytes));
  uint8_t last[16];
  const __m128i reversed = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(last), _mm_shuffle_epi8(a, reversed));
  state = crcUpdateEight(t, crcUpdateEight(t, 0, last), last + 8);
  for (; count > 0; ++bytes, --count) state = (state << 8) ^ t[(state >> 24) ^ *bytes];
  return state;
}

#endif

}  // namespace

uint32_t crcUpdateBlock(uint32_t state, const uint8_t* bytes, int32_t count) {
  ENSURE(count >= 0);
  ENSURE(crcTable.count() == kCrcTableSize);
  const uint32_t* t = crcTable.data();
#ifdef VM_CRC_FOLDS
  if (crcFolds && count >= kFoldedCrcMinimum) return crcUpdateFolded(t, state, bytes, count);
#endif
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

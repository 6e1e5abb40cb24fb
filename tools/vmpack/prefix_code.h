// Prefix codes as payload streams carry them: code lengths limited to 15 bits,
// the canonical assignment of code words and the code description.
#ifndef VM_TOOLS_VMPACK_PREFIX_CODE_H
#define VM_TOOLS_VMPACK_PREFIX_CODE_H

#include <cstdint>
#include <vector>

#include "payload/bit_stream.h"

// The longest code the packer makes, as in every shipped entry.
constexpr int kLongestCode = 15;

// One group of the description: the symbols of one code length.
struct CodeGroup {
  int length;
  int leadingZeros;
  uint32_t start;
  std::vector<int> symbols;  // increasing
};

struct PrefixCode {
  // Per symbol: -1 unused; 0 for the one symbol of a single-symbol code, which
  // takes no bits; otherwise the code length.
  std::vector<int> lengths;
  std::vector<uint32_t> codes;  // the code word of each used symbol
  std::vector<CodeGroup> groups;
  int codedCount = 0;
};

// Optimal code lengths of at most maxBits for the symbol counts (unused
// symbols have count 0), by package-merge.
std::vector<int> limitedCodeLengths(const std::vector<uint64_t>& counts, int maxBits);

// The code for the given counts in the canonical form: groups in decreasing
// length, the longest codes at the bottom of the code space, each shorter
// length continuing above the prefixes of the longer ones.
PrefixCode buildPrefixCode(const std::vector<uint64_t>& counts);

// The same canonical form for lengths already chosen (-1 unused). The lengths
// must form a complete code, or a single symbol of length 0.
PrefixCode prefixCodeFromLengths(const std::vector<int>& lengths);

// Bits the description of `code` takes with symbols of symbolBits bits.
uint64_t descriptionBits(const PrefixCode& code, int symbolBits);

void writeCodeDescription(BitSink& sink, const PrefixCode& code, int symbolBits);

// Puts the code word of `symbol`, highest bit first.
inline void putCodeWord(BitSink& sink, const PrefixCode& code, int symbol) {
  sink.putBitsHighFirst(code.codes[symbol], code.lengths[symbol]);
}

#endif  // VM_TOOLS_VMPACK_PREFIX_CODE_H

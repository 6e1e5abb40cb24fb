#include "vmpack/stream_encoder.h"

#include "payload/decompressor.h"
#include "vmpack/byte_sink.h"

#include <utility>

namespace {

int distanceHigh(int distance) { return (distance - 1) >> kLowDistanceBits; }

// A code word mirrored, so that written lowest bit first it comes out highest
// bit first, as the stream carries code words.
uint32_t mirrored(uint32_t word, int length) {
  uint32_t result = 0;
  for (int i = 0; i < length; ++i) result |= ((word >> i) & 1) << (length - 1 - i);
  return result;
}

// Each symbol's field as written lowest bit first: the mirrored code word,
// and its length.
struct Fields {
  std::vector<uint32_t> bits;
  std::vector<int> lengths;
};

Fields fieldsOf(const PrefixCode& code) {
  Fields fields;
  fields.bits.assign(code.lengths.size(), 0);
  fields.lengths.assign(code.lengths.size(), 0);
  for (size_t s = 0; s < code.lengths.size(); ++s) {
    if (code.lengths[s] <= 0) continue;
    fields.lengths[s] = code.lengths[s];
    fields.bits[s] = mirrored(code.codes[s], code.lengths[s]);
  }
  return fields;
}

// Appends bits lowest first to bytes, a word at a time: the items make up
// nearly all of an entry, and a field per call of a bit sink would be most of
// the time it takes to write one.
class ItemBits {
 public:
  // Goes on from the first `bitCount` bits of the byte `partial`.
  ItemBits(std::vector<uint8_t>* bytes, uint32_t partial, int bitCount)
      : bytes_(bytes), accumulator_(partial), count_(bitCount) {}

  // At most 32 bits, the value holding no bit above them.
  void put(uint32_t value, int count) {
    accumulator_ |= static_cast<uint64_t>(value) << count_;
    count_ += count;
    if (count_ >= 32) {
      for (int i = 0; i < 4; ++i) bytes_->push_back(static_cast<uint8_t>(accumulator_ >> (8 * i)));
      accumulator_ >>= 32;
      count_ -= 32;
    }
  }

  // The last bits, the unused high bits of the last byte 0.
  void finish() {
    for (; count_ > 0; count_ -= 8) {
      bytes_->push_back(static_cast<uint8_t>(accumulator_));
      accumulator_ >>= 8;
    }
  }

 private:
  std::vector<uint8_t>* bytes_;
  uint64_t accumulator_;
  int count_;
};

}  // namespace

std::vector<uint8_t> writeStream(int32_t totalBits, const std::vector<Item>& items, const StreamCodes& codes) {
  ByteSink sink;
  sink.putBitsLowFirst(static_cast<uint32_t>(totalBits), kTotalBitsFieldBits);
  writeCodeDescription(sink, codes.literals, kEntrySymbolBits);
  writeCodeDescription(sink, codes.distanceHighs, kDistanceSymbolBits);
  writeCodeDescription(sink, codes.lengths, kLengthSymbolBits);
  // The items go on from the bits of the last byte the descriptions began,
  // which the flush wrote with zeros above them.
  int bitCount = sink.bitsWritten % 8;
  sink.flushByte();
  std::vector<uint8_t> bytes = std::move(sink.bytes());
  uint32_t partial = 0;
  if (bitCount > 0) {
    partial = bytes.back();
    bytes.pop_back();
  }
  bytes.reserve(bytes.size() + items.size() * 2);
  Fields literals = fieldsOf(codes.literals);
  Fields distanceHighs = fieldsOf(codes.distanceHighs);
  Fields lengths = fieldsOf(codes.lengths);
  ItemBits out(&bytes, partial, bitCount);
  for (const Item& item : items) {
    if (item.length == 0) {
      // The flag 0, then the literal's code word.
      out.put(literals.bits[item.value] << 1, 1 + literals.lengths[item.value]);
    } else {
      // The flag 1, the distance's high part and its plain low bits, then
      // the length's code word.
      int distance = item.value;
      int high = distanceHigh(distance);
      uint32_t low = static_cast<uint32_t>((distance - 1) & ((1 << kLowDistanceBits) - 1));
      int highLength = distanceHighs.lengths[high];
      out.put(1 | distanceHighs.bits[high] << 1 | low << (1 + highLength), 1 + highLength + kLowDistanceBits);
      out.put(lengths.bits[item.length - 1], lengths.lengths[item.length - 1]);
    }
  }
  out.finish();
  return bytes;
}

bool encodeStream(const uint8_t* data, size_t size, const ParseOptions& options, std::vector<uint8_t>* stream,
                  std::string* error) {
  if (size > kLargestStreamContent) {
    *error = "the content is " + std::to_string(size) + " bytes, more than the " +
             std::to_string(kLargestStreamContent) + " bytes one entry can carry";
    return false;
  }
  std::vector<Item> items = chooseItems(data, size, options);
  SymbolCounts counts = countSymbols(items);
  StreamCodes codes = buildStreamCodes(counts);
  if (streamBits(counts, codes) > kLargestStreamBits) {
    *error = "the content does not compress into the 2^31 - 2 bits one entry's stream can hold";
    return false;
  }
  *stream = writeStream(static_cast<int32_t>(size * 8), items, codes);
  return true;
}

#include "vmpack/stream_encoder.h"

#include "payload/decompressor.h"
#include "vmpack/byte_sink.h"

#include <utility>

namespace {

int distanceHigh(int distance) { return (distance - 1) >> kLowDistanceBits; }

}  // namespace

std::vector<uint8_t> writeStream(int32_t totalBits, const std::vector<Item>& items, const StreamCodes& codes) {
  ByteSink sink;
  sink.putBitsLowFirst(static_cast<uint32_t>(totalBits), kTotalBitsFieldBits);
  writeCodeDescription(sink, codes.literals, kEntrySymbolBits);
  writeCodeDescription(sink, codes.distanceHighs, kDistanceSymbolBits);
  writeCodeDescription(sink, codes.lengths, kLengthSymbolBits);
  for (const Item& item : items) {
    if (item.length == 0) {
      sink.putBitsLowFirst(0, 1);
      putCodeWord(sink, codes.literals, item.value);
    } else {
      int distance = item.value;
      sink.putBitsLowFirst(1, 1);
      putCodeWord(sink, codes.distanceHighs, distanceHigh(distance));
      sink.putBitsLowFirst(static_cast<uint32_t>((distance - 1) & ((1 << kLowDistanceBits) - 1)), kLowDistanceBits);
      putCodeWord(sink, codes.lengths, item.length - 1);
    }
  }
  // The unused high bits of the last byte stay 0.
  sink.flushByte();
  return std::move(sink.bytes());
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

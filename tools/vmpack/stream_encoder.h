// Writes the compressed stream of an entry: the header, the three code
// descriptions and the items, in exactly the layout the program decodes.
#ifndef VM_TOOLS_VMPACK_STREAM_ENCODER_H
#define VM_TOOLS_VMPACK_STREAM_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vmpack/parse.h"

// The most content one stream can carry: its bit count is a signed 32-bit
// field.
constexpr uint64_t kLargestStreamContent = 0x7FFFFFFFu / 8;
// A decoder takes at most 2^31 - 2 bits from a source.
constexpr uint64_t kLargestStreamBits = 0x7FFFFFFEu;

// The stream for the given items and codes. The items must produce exactly
// totalBits / 8 bytes (rounded up); tests use it to write chosen streams.
std::vector<uint8_t> writeStream(int32_t totalBits, const std::vector<Item>& items, const StreamCodes& codes);

// Compresses `size` bytes into a stream. Fails, with a reason, when the
// content or the stream is too large for the format.
bool encodeStream(const uint8_t* data, size_t size, const ParseOptions& options, std::vector<uint8_t>* stream,
                  std::string* error);

#endif  // VM_TOOLS_VMPACK_STREAM_ENCODER_H

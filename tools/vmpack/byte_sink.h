// A bit sink that collects the bytes it builds in memory: the packer writes
// streams through it, and reads them back through the program's decoder into
// another one.
#ifndef VM_TOOLS_VMPACK_BYTE_SINK_H
#define VM_TOOLS_VMPACK_BYTE_SINK_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "payload/bit_stream.h"

class ByteSink final : public BitSink {
 public:
  // Bytes beyond `limit` are dropped and counted as an overflow. A known
  // limit is reserved at once.
  explicit ByteSink(size_t limit = SIZE_MAX) : limit_(limit) {
    if (limit != SIZE_MAX) bytes_.reserve(limit);
  }

  void putBit(int32_t bit) override { shiftBitIn(accumulator_, bitCount_, bit); }

  void flushByte() override {
    if (bitCount_ == 0) return;
    storeByte();
  }

  std::vector<uint8_t>& bytes() { return bytes_; }
  bool overflow() const { return overflow_; }

 private:
  void storeByte() {
    if (bytes_.size() < limit_) {
      bytes_.push_back(static_cast<uint8_t>(accumulator_));
    } else {
      overflow_ = true;
    }
    accumulator_ = 0;
    bitCount_ = 0;
  }

  std::vector<uint8_t> bytes_;
  size_t limit_;
  int32_t accumulator_ = 0;
  int32_t bitCount_ = 0;
  bool overflow_ = false;
};

#endif  // VM_TOOLS_VMPACK_BYTE_SINK_H

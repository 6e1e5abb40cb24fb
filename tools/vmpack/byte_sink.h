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
  explicit ByteSink(size_t limit = SIZE_MAX) : ByteSink(nullptr, limit) {}

  // Appends to the caller's `destination` instead of a vector of its own, so
  // that the bytes stay with the caller even when a failed check of the
  // decoder leaves the sink's frame without its destructor (the fuzz build
  // goes on after one). A copy of such a sink appends to the same vector.
  ByteSink(std::vector<uint8_t>* destination, size_t limit) : destination_(destination), limit_(limit) {
    if (limit != SIZE_MAX) bytes().reserve(limit);
  }

  void putBit(int32_t bit) override { shiftBitIn(accumulator_, bitCount_, bit); }

  void flushByte() override {
    if (bitCount_ == 0) return;
    storeByte();
  }

  void putBytes(const uint8_t* run, int32_t count) override {
    beginBytes(bitCount_, count);
    std::vector<uint8_t>& collected = bytes();
    size_t room = collected.size() < limit_ ? limit_ - collected.size() : 0;
    size_t kept = static_cast<size_t>(count) < room ? static_cast<size_t>(count) : room;
    collected.insert(collected.end(), run, run + kept);
    if (kept < static_cast<size_t>(count)) overflow_ = true;
  }

  std::vector<uint8_t>& bytes() { return destination_ != nullptr ? *destination_ : own_; }
  bool overflow() const { return overflow_; }

 private:
  void storeByte() {
    std::vector<uint8_t>& collected = bytes();
    if (collected.size() < limit_) {
      collected.push_back(static_cast<uint8_t>(accumulator_));
    } else {
      overflow_ = true;
    }
    accumulator_ = 0;
    bitCount_ = 0;
  }

  std::vector<uint8_t> own_;
  std::vector<uint8_t>* destination_;
  size_t limit_;
  int32_t accumulator_ = 0;
  int32_t bitCount_ = 0;
  bool overflow_ = false;
};

#endif  // VM_TOOLS_VMPACK_BYTE_SINK_H

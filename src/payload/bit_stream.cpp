#include "payload/bit_stream.h"

#include <cstring>

#include "base/fatal.h"

namespace {

constexpr int32_t kWidestField = 32;

}  // namespace

ByteCursor::ByteCursor(const uint8_t* start, int32_t size)
    : current_(start), start_(start), end_(start + size), failed_(0) {
  ENSURE(size >= 0);
}

int32_t ByteCursor::read(void* dest, int32_t n) {
  ENSURE(n >= 0);
  int32_t available = static_cast<int32_t>(end_ - current_);
  int32_t taken = n < available ? n : available;
  if (taken > 0) memcpy(dest, current_, static_cast<size_t>(taken));
  current_ += taken;
  if (taken == n) return 1;
  failed_ = 1;
  return 0;
}

int32_t BitSource::readBits(uint32_t* dest, int32_t count) {
  // A negative width can only come from a description that contradicts
  // itself; reading nothing would hide it.
  ENSURE(count >= 0 && count <= kWidestField);
  *dest = 0;
  int32_t taken = 0;
  for (; taken < count; ++taken) {
    if (atEnd()) break;
    if (nextBit()) *dest |= 1u << taken;
  }
  return taken;
}

MemoryBitSource::MemoryBitSource(const uint8_t* start, const uint8_t* end)
    : start_(start), end_(end), rangeBits_(0), cutAtLimit_(false), window_() {
  ENSURE(start <= end);
  int64_t bits = (end - start) * int64_t{8};
  cutAtLimit_ = bits >= kBitCountLimit;
  rangeBits_ = cutAtLimit_ ? kBitCountLimit - 1 : static_cast<int32_t>(bits);
  reset();
  bitsRead = 0;
}

void MemoryBitSource::reset() {
  window_.next = start_;
  window_.end = end_;
  window_.bits = 0;
  window_.count = 0;
  window_.left = rangeBits_;
}

int32_t MemoryBitSource::readBit() {
  ENSURE(window_.left > 0);
  if (window_.count == 0) window_.refill();
  int32_t bit = static_cast<int32_t>(window_.bits & 1);
  window_.drop(1);
  return bit;
}

int32_t MemoryBitSource::readBits(uint32_t* dest, int32_t count) {
  ENSURE(count >= 0 && count <= kWidestField);
  int32_t taken = count < window_.left ? count : window_.left;
  // Short of the count's limit, and short of the range's end or at the end
  // of a range that ends there, nothing fails: the field is the next `taken`
  // bits, and its missing high bits are 0.
  if (bitsRead >= kBitCountLimit - taken || (taken < count && cutAtLimit_)) return BitSource::readBits(dest, count);
  if (window_.count < taken) window_.refill();
  *dest = static_cast<uint32_t>(window_.bits & ((uint64_t{1} << taken) - 1));
  window_.drop(taken);
  bitsRead += taken;
  return taken;
}

// A range cut at the limit is not at its end there: the next read takes
// nextBit over the limit, into the internal error.
int32_t MemoryBitSource::atEnd() { return window_.left == 0 && !cutAtLimit_; }

void MemoryBitSource::setWindow(const BitWindow& window) {
  ENSURE(window.left >= 0 && window.left <= window_.left);
  bitsRead += window_.left - window.left;
  window_ = window;
}

void BitSink::checkField(uint32_t value, int32_t count) {
  ENSURE(count >= 0 && count <= kWidestField);
  // A value wider than its field would lose its high bits without a trace.
  if (count < kWidestField) ENSURE(value < (1u << count));
  // The count stops short of overflowing, as a source's does.
  ENSURE(bitsWritten < kBitCountLimit - count);
}

void BitSink::putBitsLowFirst(uint32_t value, int32_t count) {
  checkField(value, count);
  for (int32_t i = 0; i < count; ++i) {
    putBit(static_cast<int32_t>(value & 1));
    value >>= 1;
  }
  // No sink looks at the count while bits arrive, so it is added once.
  bitsWritten += count;
}

void BitSink::putBitsHighFirst(uint32_t value, int32_t count) {
  checkField(value, count);
  for (int32_t i = count - 1; i >= 0; --i) putBit(static_cast<int32_t>((value >> i) & 1));
  bitsWritten += count;
}

void BitSink::putBytes(const uint8_t* bytes, int32_t count) {
  for (int32_t i = 0; i < count; ++i) putBitsLowFirst(bytes[i], 8);
}

uint8_t* BitSink::directBlock(int32_t* room) {
  *room = 0;
  return nullptr;
}

#include "payload/bit_stream.h"

#include <cstring>

#include "setup/fatal.h"

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
    : current_(start), start_(start), end_(end), bitsLeft_(0), currentByte_(0) {
  ENSURE(start <= end);
  reset();
  bitsRead = 0;
}

void MemoryBitSource::reset() {
  current_ = start_;
  bitsLeft_ = 0;
  if (current_ < end_) {
    currentByte_ = *current_++;
    bitsLeft_ = 8;
  }
}

int32_t MemoryBitSource::readBit() {
  ENSURE(bitsLeft_ > 0);
  int32_t bit = currentByte_ & 1;
  currentByte_ >>= 1;
  --bitsLeft_;
  if (bitsLeft_ == 0 && current_ < end_) {
    currentByte_ = *current_++;
    bitsLeft_ = 8;
  }
  return bit;
}

int32_t MemoryBitSource::atEnd() { return bitsLeft_ == 0; }

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

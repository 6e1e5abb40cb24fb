// The byte and bit readers of payload entries and the common half of the
// sinks that decoded bits go to.
//
// Everything in a payload is least significant bit first: bits are taken from
// each byte starting with bit 0, bytes in increasing address order, and a
// value of n bits gets the first bit read as its bit 0. A 32-bit value read at
// a byte boundary therefore equals the little-endian integer stored there.
// Sinks build bytes the same way: the first bit put becomes bit 0.
#ifndef VM_PAYLOAD_BIT_STREAM_H
#define VM_PAYLOAD_BIT_STREAM_H

#include <cstdint>
#include <cstring>

#include "base/fatal.h"

// The bit counters are int32: the last value they may reach.
constexpr int32_t kBitCountLimit = 2147483647;

// Reads the catalogue of an entry byte by byte before its bit stream begins.
class ByteCursor {
 public:
  ByteCursor(const uint8_t* start, int32_t size);

  // Copies min(n, bytes left) bytes to dest and consumes them. Returns 1 when
  // all n were there; otherwise sets the sticky failed flag and returns 0.
  int32_t read(void* dest, int32_t n);

  const uint8_t* position() const { return current_; }
  const uint8_t* end() const { return end_; }
  int32_t failed() const { return failed_; }
  // For readers that find a record present but invalid.
  void markFailed() { failed_ = 1; }

 private:
  const uint8_t* current_;
  const uint8_t* start_;
  const uint8_t* end_;
  int32_t failed_;
};

// A source of single bits. The decoder takes every bit through nextBit, which
// counts them; the virtual operations come in this order: reset, readBit,
// atEnd, readBits.
class BitSource {
 public:
  // Positions the source at its first bit.
  virtual void reset() = 0;
  // The next bit; reading past the last one is an internal error.
  virtual int32_t readBit() = 0;
  // Non-zero when no bit is left.
  virtual int32_t atEnd() = 0;
  // Reads a field of `count` bits (0 to 32), first bit as bit 0, into dest and
  // returns how many bits were there. At the end of the data the field is
  // silently short: its missing high bits are 0.
  virtual int32_t readBits(uint32_t* dest, int32_t count);

  // The counted read every consumer uses. A source delivers at most
  // 2^31 - 2 bits through it, so the count never overflows.
  int32_t nextBit() {
    ++bitsRead;
    ENSURE(bitsRead != kBitCountLimit);
    return readBit();
  }

  int32_t bitsRead = 0;

 protected:
  BitSource() = default;
  ~BitSource() = default;
};

// The bits of a range of memory as the decoder takes them: a 64-bit window
// onto the stream, refilled a word at a time. Bits past the end of the range
// read as zeros, and `left` counts the real bits not yet taken, so that a
// reader can tell a field cut short by the end from a code word taken past
// it. Only the bytes of the range are ever read.
struct BitWindow {
  const uint8_t* next;  // the next byte to load into `bits`
  const uint8_t* end;
  uint64_t bits;        // the next `count` bits, the first at bit 0
  int32_t count;        // bits loaded: the real ones, then the zeros past the end
  int32_t left;         // real bits not yet taken

  // At least kWindowFill bits are loaded afterwards.
  void refill() { refill(next, end, bits, count); }

  // The same on the fields held apart, as the decoder keeps them in its
  // registers.
  static void refill(const uint8_t*& next, const uint8_t* end, uint64_t& bits, int32_t& count) {
    if (end - next >= 8) {
      refillWord(next, bits, count);
      return;
    }
    // Near the end, byte by byte; past it only zeros are counted in, and no
    // word load ever reached past the end to set a bit there.
    while (count <= kWindowFill) {
      if (next < end) bits |= static_cast<uint64_t>(*next++) << count;
      count += 8;
    }
  }

  // Eight bytes at once, as libdeflate refills, where eight bytes are left
  // at `next` and count is below 64: the word is shifted in above the bits
  // held, and as many whole bytes as fit below bit 64 are counted (7 less
  // the whole bytes held), which makes count (count | kWindowFill). The
  // part of the last byte that did not fit, and any bits above `count` from
  // an earlier load, are the very bits the next load puts there again, so
  // the OR leaves them unchanged; and right after the load all 64 bits are
  // the stream's.
  static void refillWord(const uint8_t*& next, uint64_t& bits, int32_t& count) {
    bits |= loadLittleEndian64(next) << count;
    next += 7 - (static_cast<uint32_t>(count) >> 3);
    count |= kWindowFill;
  }

  // Drops n loaded bits (n at most count); `left` is the caller's to check.
  void drop(int32_t n) {
    bits >>= n;
    count -= n;
    left -= n;
  }

  static constexpr int32_t kWindowFill = 56;

  // Both targets of the program (x86 Windows and the x86-64 host) are little
  // endian; the compiler turns the copy into one load.
  static uint64_t loadLittleEndian64(const uint8_t* bytes) {
    uint64_t word;
    memcpy(&word, bytes, sizeof word);
    return word;
  }
};

// The bits of a byte range in memory: the compressed stream of an entry,
// read in place from the locked resource. The description readers take them
// one at a time through the virtual operations; the decoder takes the window
// itself and gives it back when it is done (see Decompressor).
class MemoryBitSource final : public BitSource {
 public:
  MemoryBitSource(const uint8_t* start, const uint8_t* end);

  void reset() override;
  int32_t readBit() override;
  // True exactly when every bit of the range has been taken.
  int32_t atEnd() override;
  // BitSource::readBits in one take from the window: the same value, count
  // and failures, since a field that would end in a failure or meet the
  // count's limit is read bit by bit as there.
  int32_t readBits(uint32_t* dest, int32_t count) override;

  // The window for a reader that takes bits without the virtual calls, and
  // back from it: bitsRead then counts every bit taken either way.
  BitWindow window() const { return window_; }
  void setWindow(const BitWindow& window);
  // Reading the range's last bit leaves the count of bits read one short of
  // its limit; a range longer than that ends there, its rest unreadable.
  bool cutAtLimit() const { return cutAtLimit_; }

 private:
  const uint8_t* start_;
  const uint8_t* end_;
  int32_t rangeBits_;  // the bits a reader may take: the range's, up to the limit
  bool cutAtLimit_;
  BitWindow window_;
};

// A destination for decoded bits that builds bytes from them. Each concrete
// sink keeps its own byte accumulator and bit count and decides where a full
// byte goes. The virtual operations come in this order: putBit, flushByte,
// putBitsLowFirst, putBitsHighFirst, putBytes, directBlock.
class BitSink {
 public:
  // Adds one bit; concrete sinks implement it with shiftBitIn.
  virtual void putBit(int32_t bit) = 0;
  // Consumes the accumulated bits as one byte (the bits above the count are
  // 0); with no bit accumulated it does nothing.
  virtual void flushByte() = 0;
  // The low `count` bits of value, bit 0 first (how decoded symbols arrive).
  virtual void putBitsLowFirst(uint32_t value, int32_t count);
  // The low `count` bits of value, the highest of them first (how code words
  // are written).
  virtual void putBitsHighFirst(uint32_t value, int32_t count);
  // Whole bytes, as putBitsLowFirst(byte, 8) would put each of them, in one
  // call: how the decoder hands on its output. A byte still waiting in the
  // accumulator goes first; a part of a byte there is an internal error.
  virtual void putBytes(const uint8_t* bytes, int32_t count);
  // A sink that keeps the bytes it is given one after the other in a block
  // of its own may offer the rest of it while no bit waits in its
  // accumulator: the memory where the next byte put would go, with *room set
  // to the bytes from there to the block's end.
  // The decoder may then write its output there ahead of handing it on, and
  // hands it on with putBytes on that very memory, which the sink then keeps
  // as it is. Null (the default) when the sink has no such block.
  virtual uint8_t* directBlock(int32_t* room);

  int32_t bitsWritten = 0;

 protected:
  BitSink() = default;
  ~BitSink() = default;

  // The putBit every sink shares: a full byte is handed on lazily, only when
  // a ninth bit arrives or when the owner flushes at the end.
  void shiftBitIn(int32_t& accumulator, int32_t& bitCount, int32_t bit) {
    ENSURE(bitCount >= 0 && bitCount <= 8);
    if (bitCount == 8) flushByte();
    accumulator |= (bit ? 1 : 0) << bitCount;
    ++bitCount;
  }

  // What every putBytes does before it takes the bytes: counts them and
  // hands on a full byte still in the accumulator.
  void beginBytes(int32_t& bitCount, int32_t count) {
    ENSURE(count >= 0);
    ENSURE(bitsWritten < kBitCountLimit - 8 * static_cast<int64_t>(count));
    ENSURE(bitCount == 0 || bitCount == 8);
    if (bitCount == 8) flushByte();
    bitsWritten += 8 * count;
  }

 private:
  void checkField(uint32_t value, int32_t count);
};

#endif  // VM_PAYLOAD_BIT_STREAM_H

// The sink that decodes an entry's files back to back into one block of
// memory (the licence text of the License page), checking each file's CRC.
// It counts no bytesWritten, touches no dialog and shows no message.
#ifndef VM_PAYLOAD_MEMORY_SINK_H
#define VM_PAYLOAD_MEMORY_SINK_H

#include <cstdint>

#include "payload/bit_stream.h"

class MemorySink final : public BitSink {
 public:
  // `size` bytes from `block` receive the content.
  MemorySink(uint8_t* block, int32_t size);
  MemorySink(const MemorySink&) = delete;
  MemorySink& operator=(const MemorySink&) = delete;
  // The last byte must have been flushed and complete() called.
  ~MemorySink();

  void putBit(int32_t bit) override { shiftBitIn(accumulator_, bitCount_, bit); }
  void flushByte() override;
  // Copies a run of bytes as flushByte stores each, cut at file ends; a run
  // that already lies where it goes (see directBlock) stays there.
  void putBytes(const uint8_t* bytes, int32_t count) override;
  // The rest of the block, where the decoder then decodes straight into.
  uint8_t* directBlock(int32_t* room) override;

  // Finishes the last file. True when every catalogued file arrived in full,
  // passed its CRC check and fitted the block.
  bool complete();

 private:
  void takeBytes(const uint8_t* bytes, int32_t count);
  void finishFile();

  uint8_t* end_;
  uint8_t* current_;
  int32_t accumulator_;
  int32_t bitCount_;
  int32_t fileIndex_;
  int32_t remaining_;
  uint32_t runningCrc_;
  uint32_t expectedCrc_;
  int32_t failed_;
  int32_t fileActive_;
};

#endif  // VM_PAYLOAD_MEMORY_SINK_H

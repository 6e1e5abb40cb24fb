#include "payload/memory_sink.h"

#include <cstring>

#include "payload/checksum.h"
#include "payload/file_records.h"

MemorySink::MemorySink(uint8_t* block, int32_t size)
    : end_(block + size),
      current_(block),
      accumulator_(0),
      bitCount_(0),
      fileIndex_(0),
      remaining_(0),
      runningCrc_(0),
      expectedCrc_(0),
      failed_(0),
      fileActive_(0) {
  ENSURE(size >= 0);
}

MemorySink::~MemorySink() {
  ENSURE(bitCount_ == 0);
  ENSURE(fileActive_ == 0);
}

void MemorySink::flushByte() {
  ENSURE(bitCount_ >= 0 && bitCount_ <= 8);
  if (bitCount_ == 0) return;
  uint8_t byte = static_cast<uint8_t>(accumulator_);
  accumulator_ = 0;
  bitCount_ = 0;
  takeBytes(&byte, 1);
}

void MemorySink::putBytes(const uint8_t* bytes, int32_t count) {
  beginBytes(bitCount_, count);
  takeBytes(bytes, count);
}

uint8_t* MemorySink::directBlock(int32_t* room) {
  // A byte waiting in the accumulator goes first, where the decoder would
  // already have put its own.
  *room = bitCount_ == 0 ? static_cast<int32_t>(end_ - current_) : 0;
  return bitCount_ == 0 ? current_ : nullptr;
}

void MemorySink::takeBytes(const uint8_t* bytes, int32_t count) {
  while (count > 0) {
    ENSURE(remaining_ >= 0);
    if (remaining_ == 0) {
      finishFile();
      if (failed_ == 0 && fileIndex_ < fileRecords.count()) {
        const FileRecord& record = fileRecords[fileIndex_];
        expectedCrc_ = record.contentCrc;
        fileActive_ = 1;
        remaining_ = record.size;
        buildCrcTable();
        runningCrc_ = kCrcInitialState;
      }
      // Data past the last file, or after a failure, spoils the result.
      if (fileActive_ == 0) failed_ = 1;
    }
    if (fileActive_ == 0) return;
    int32_t run = count < remaining_ ? count : remaining_;
    // The block holds the catalogue's sizes, so only a catalogue that
    // contradicts itself runs past its end; that spoils the result too.
    if (run > end_ - current_) {
      failed_ = 1;
      fileActive_ = 0;
      return;
    }
    // The decoder's own output in the block is where it belongs already.
    if (bytes != current_) memcpy(current_, bytes, static_cast<size_t>(run));
    current_ += run;
    remaining_ -= run;
    runningCrc_ = crcUpdateBlock(runningCrc_, bytes, run);
    bytes += run;
    count -= run;
  }
}

bool MemorySink::complete() {
  finishFile();
  return failed_ == 0 && remaining_ == 0 && fileIndex_ == fileRecords.count();
}

void MemorySink::finishFile() {
  if (fileActive_ == 0) return;
  fileActive_ = 0;
  if (~runningCrc_ != expectedCrc_) failed_ = 1;
  ++fileIndex_;
}

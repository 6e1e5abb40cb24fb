#include "payload/memory_sink.h"

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
  if (fileActive_ != 0) {
    uint8_t byte = static_cast<uint8_t>(accumulator_);
    if (current_ < end_) {
      *current_++ = byte;
    } else {
      failed_ = 1;
      fileActive_ = 0;
    }
    --remaining_;
    runningCrc_ = crcUpdate(runningCrc_, byte);
  }
  accumulator_ = 0;
  bitCount_ = 0;
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

// The sink that cuts an entry's decoded bytes into its catalogued files below
// the target folder, checks each file's CRC, gives it its stored time and
// records it for the uninstaller, and names it on the Installing dialog.
#ifndef VM_EXTRACT_FILE_SINK_H
#define VM_EXTRACT_FILE_SINK_H

#include <cstdint>
#include <cstdio>

#include "payload/bit_stream.h"

// Tells the user in a box owned by the Installing dialog that `path` could
// not be written, unless the user has cancelled.
void reportWriteFailure(const char* path);

class FileSink final : public BitSink {
 public:
  // Starts the extraction's writeFailed at 0.
  FileSink();
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;
  // The last byte must have been flushed and complete() called.
  ~FileSink();

  void putBit(int32_t bit) override { shiftBitIn(accumulator_, bitCount_, bit); }
  // Writes the accumulated byte into the file it belongs to, finishing the
  // file before and beginning the next as the catalogue says.
  void flushByte() override;
  // Writes a run of bytes as flushByte writes each, cut at file ends.
  void putBytes(const uint8_t* bytes, int32_t count) override;

  // Finishes the file being written, also one cut short. True when every
  // catalogued file was written to its last byte and no byte was left over;
  // a write failure is read from writeFailed, not from this.
  bool complete();

 private:
  // Spreads decoded bytes over the catalogued files: they go to the write
  // buffer of the file being written, and each file is finished and the
  // next begun where the catalogue says.
  void takeBytes(const uint8_t* bytes, int32_t count);
  void beginFile();
  // Writes out what the buffer holds; false after a failed write.
  bool writeBuffered();
  // Closes the file, gives it its time and records it; a file closed short
  // of its size (a stop) skips the CRC check, since it cannot pass.
  void finishFile();
  // Reports the file at fileIndex once per extraction and stops everything
  // after it: no further file is begun and later bytes are dropped.
  void fail();
  // Records a file this extraction created, for the uninstaller or, for
  // files kept out of the data file, for the roll-back only. A file that
  // cannot be recorded (no memory) is deleted.
  bool recordFile(const char* path);

  FILE* file_;  // null when no file is open
  int32_t accumulator_;
  int32_t bitCount_;
  int32_t fileIndex_;  // the file being written, or the next one
  int32_t remaining_;  // bytes still due to the current file
  uint32_t runningCrc_;
  uint32_t expectedCrc_;
  int32_t failed_;
  int32_t overrun_;  // the stream held bytes past the last catalogued file
  int32_t buffered_;  // bytes of the current file waiting in the write buffer
  bool keptAside_;    // the current file was there before and is kept aside
  bool shownAny_;     // a file of this extraction has been named on the dialog
  uint32_t shownAt_;  // when, in GetTickCount's milliseconds
};

#endif  // VM_EXTRACT_FILE_SINK_H

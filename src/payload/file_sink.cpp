#include "payload/file_sink.h"

#include <cstring>

#include "install/uninstall_list.h"
#include "payload/checksum.h"
#include "payload/extraction.h"
#include "payload/file_records.h"
#include "payload/progress.h"
#include "res/resource.h"
#include "setup/context.h"

namespace {

constexpr char kCopyingFormat[] = "Copying %s";
constexpr char kCopyingToFormat[] = "to %s";
constexpr char kWriteFailedFormat[] = "Failed to write %s";

// Room for any of the texts above with a path of up to 259 characters.
constexpr size_t kTextBufferSize = kPathBufferSize + 32;

// Names the file on the Installing dialog: its name and extension on the
// first line, its drive and folder, up to the last separator, on the second.
void showFile(const char* path) {
  size_t nameStart = strlen(path);
  while (nameStart > 0 && !isPathSeparator(path[nameStart - 1])) --nameStart;
  char text[kTextBufferSize];
  snprintf(text, sizeof text, kCopyingFormat, path + nameStart);
  SetDlgItemTextA(installingDialog, IDC_COPYING_FILE, text);
  char folder[kPathBufferSize];
  memcpy(folder, path, nameStart);
  folder[nameStart] = '\0';
  snprintf(text, sizeof text, kCopyingToFormat, folder);
  SetDlgItemTextA(installingDialog, IDC_COPYING_TO, text);
}

void clearShownFile() {
  SetDlgItemTextA(installingDialog, IDC_COPYING_FILE, "");
  SetDlgItemTextA(installingDialog, IDC_COPYING_TO, "");
}

}  // namespace

void reportWriteFailure(const char* path) {
  // After a confirmed cancel the stop is the user's own doing.
  if (cancelRequested != 0) return;
  char text[kTextBufferSize];
  snprintf(text, sizeof text, kWriteFailedFormat, path);
  MessageBoxA(installingDialog, text, setupContext.caption, MB_OK);
}

FileSink::FileSink()
    : file_(nullptr),
      accumulator_(0),
      bitCount_(0),
      fileIndex_(0),
      remaining_(0),
      runningCrc_(0),
      expectedCrc_(0),
      failed_(0),
      overrun_(0) {
  writeFailed = 0;
}

FileSink::~FileSink() {
  ENSURE(bitCount_ == 0);
  ENSURE(file_ == nullptr);
}

void FileSink::flushByte() {
  ENSURE(bitCount_ >= 0 && bitCount_ <= 8);
  if (bitCount_ == 0) return;
  ENSURE(remaining_ >= 0);
  if (remaining_ == 0) {
    // The file before is done, or none has begun yet.
    finishFile();
    if (failed_ == 0) {
      if (fileIndex_ < fileRecords.count()) {
        beginFile();
        if (file_ == nullptr) fail();
      } else {
        // More data than the catalogue lists: the entry is damaged, which
        // is no write failure to tell the user of.
        overrun_ = 1;
      }
    }
  }
  if (file_ != nullptr) {
    uint8_t byte = static_cast<uint8_t>(accumulator_);
    if (fputc(byte, file_) == EOF) fail();
    --remaining_;
    if (bytesWritten < INT32_MAX) ++bytesWritten;
    runningCrc_ = crcUpdate(runningCrc_, byte);
  }
  accumulator_ = 0;
  bitCount_ = 0;
}

bool FileSink::complete() {
  finishFile();
  return remaining_ == 0 && fileIndex_ == fileRecords.count() && overrun_ == 0;
}

void FileSink::beginFile() {
  const FileRecord& record = fileRecords[fileIndex_];
  expectedCrc_ = record.contentCrc;
  file_ = openWindowsFile(record.path, "wb");
  if (file_ == nullptr) return;
  remaining_ = record.size;
  buildCrcTable();
  runningCrc_ = kCrcInitialState;
  showFile(record.path);
}

void FileSink::finishFile() {
  if (file_ == nullptr) return;
  const FileRecord& record = fileRecords[fileIndex_];
  // Buffered bytes reach the disk only now: a full disk may show here first.
  bool closed = fclose(file_) == 0;
  file_ = nullptr;
  // A file that failed in any way is still given its time and recorded, so
  // that a roll-back deletes it.
  bool timed = setFileTimes(record.path, record.time);
  bool recorded = recordFile(record.path);
  bool intact = remaining_ > 0 || ~runningCrc_ == expectedCrc_;
  if (!closed || !timed || !recorded || !intact) fail();
  ++fileIndex_;
  clearShownFile();
}

void FileSink::fail() {
  if (failed_ != 0) return;
  if (file_ != nullptr) {
    // The file exists now, whatever it holds: the roll-back must find it.
    fclose(file_);
    file_ = nullptr;
    recordFile(fileRecords[fileIndex_].path);
  }
  int32_t named = fileIndex_ < fileRecords.count() ? fileIndex_ : fileRecords.count() - 1;
  reportWriteFailure(fileRecords[named].path);
  failed_ = 1;
  writeFailed = 1;
}

bool FileSink::recordFile(const char* path) {
  UninstallList& list = recordWrittenFiles != 0 ? uninstallList : unrecordedFiles;
  if (list.addRecord(path, kUninstallFile)) return true;
  // Without a record no roll-back would find the file: it goes at once.
  DeleteFileA(path);
  return false;
}

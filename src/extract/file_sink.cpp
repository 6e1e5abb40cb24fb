#include "extract/file_sink.h"

#include <cstring>

#include "extract/kept_files.h"
#include "base/paths.h"
#include "extract/uninstall_list.h"
#include "payload/checksum.h"
#include "extract/extraction.h"
#include "payload/file_records.h"
#include "extract/progress.h"
#include "res/resource.h"
#include "base/context.h"
#include "base/message_box.h"
#include "base/run_log.h"

namespace {

constexpr char kCopyingFormat[] = "Copying %s";
constexpr char kCopyingToFormat[] = "to %s";
constexpr char kWriteFailedFormat[] = "Failed to write %s";

// Room for any of the texts above with a path of up to 259 characters.
constexpr size_t kTextBufferSize = kPathBufferSize + 32;

// Files are written in blocks of this size. Every write costs a system call
// (under Wine a trip through the server as well), so a block should hold
// most of a typical product's files whole: 64 KiB takes all but the largest
// in one write, and as a multiple of every cluster size FAT and NTFS use it
// never leaves a cluster half written between two writes. It is a fixed
// buffer of the program's data rather than the stack's or the heap's: there
// is one extraction at a time, and it cannot fail to be there.
constexpr int32_t kWriteBufferSize = 64 * 1024;
uint8_t writeBuffer[kWriteBufferSize];

// Each text set on the dialog is a repaint (under Wine a trip through the
// server as well), and with small files names would change faster than
// anyone can read them: a file is named when it begins only once this long
// has passed since a name was last shown, and the first file of every
// extraction always.
constexpr DWORD kShowFileInterval = 50;

// Names the file on the Installing dialog: its name and extension on the
// first line, its drive and folder, up to the last separator, on the second.
void showFile(const char* path) {
  size_t nameStart = strlen(path);
  while (nameStart > 0 && !isPathSeparator(path[nameStart - 1])) --nameStart;
  char text[kTextBufferSize];
  formatText(text, sizeof text, kCopyingFormat, path + nameStart);
  SetDlgItemTextA(installingDialog, IDC_COPYING_FILE, text);
  char folder[kPathBufferSize];
  memcpy(folder, path, nameStart);
  folder[nameStart] = '\0';
  formatText(text, sizeof text, kCopyingToFormat, folder);
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
  formatText(text, sizeof text, kWriteFailedFormat, path);
  showMessage(installingDialog, text, setupContext.caption, MB_OK);
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
      overrun_(0),
      buffered_(0),
      keptAside_(false),
      shownAny_(false),
      shownAt_(0) {
  writeFailed = 0;
}

FileSink::~FileSink() {
  ENSURE(bitCount_ == 0);
  ENSURE(file_ == nullptr);
}

void FileSink::flushByte() {
  ENSURE(bitCount_ >= 0 && bitCount_ <= 8);
  if (bitCount_ == 0) return;
  uint8_t byte = static_cast<uint8_t>(accumulator_);
  accumulator_ = 0;
  bitCount_ = 0;
  takeBytes(&byte, 1);
}

void FileSink::putBytes(const uint8_t* bytes, int32_t count) {
  beginBytes(bitCount_, count);
  takeBytes(bytes, count);
}

void FileSink::takeBytes(const uint8_t* bytes, int32_t count) {
  while (count > 0) {
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
    // After a failure, or past the last file, the rest is dropped uncounted.
    if (file_ == nullptr) return;
    int32_t run = count < remaining_ ? count : remaining_;
    remaining_ -= run;
    bytesWritten = INT32_MAX - bytesWritten < run ? INT32_MAX : bytesWritten + run;
    runningCrc_ = crcUpdateBlock(runningCrc_, bytes, run);
    while (run > 0) {
      int32_t room = kWriteBufferSize - buffered_;
      int32_t part = run < room ? run : room;
      memcpy(writeBuffer + buffered_, bytes, static_cast<size_t>(part));
      buffered_ += part;
      bytes += part;
      count -= part;
      run -= part;
      if (buffered_ == kWriteBufferSize && !writeBuffered()) {
        fail();
        return;
      }
    }
  }
}

bool FileSink::writeBuffered() {
  size_t size = static_cast<size_t>(buffered_);
  buffered_ = 0;
  return size == 0 || fwrite(writeBuffer, 1, size, file_) == size;
}

bool FileSink::complete() {
  finishFile();
  if (shownAny_) clearShownFile();
  return remaining_ == 0 && fileIndex_ == fileRecords.count() && overrun_ == 0;
}

void FileSink::beginFile() {
  const FileRecord& record = fileRecords[fileIndex_];
  expectedCrc_ = record.contentCrc;
  // A file that is there already (an earlier installation's) is moved aside
  // first, so that a roll-back can put it back; one that cannot be is not
  // written over. A folder in its place stays, and the file cannot be made.
  keptAside_ = false;
  // A junction or link below the target folder, which the extraction never
  // makes, would take the write somewhere else. The folders above the file
  // are looked at first; then, where nothing has the file's name yet (every
  // file of a first installation), the file is made in the same step that
  // finds the name free, a link there refusing it as anything else would.
  if (passesReparsePoint(record.path, installOptions.targetFolder, false)) return;
  file_ = createNewWindowsFile(record.path);
  if (file_ == nullptr) {
    if (GetLastError() != ERROR_FILE_EXISTS) return;
    // Something has the name: a look at it tells a link from a file to keep.
    bool there = false;
    if (passesReparsePoint(record.path, installOptions.targetFolder, true, &there)) return;
    keptAside_ = there;
    if (keptAside_ && !keepAside(record.path)) return;
    file_ = openWindowsFile(record.path, "wb");
    if (file_ == nullptr) return;
  }
  // The sink buffers whole blocks itself: one write each, no second copy.
  setvbuf(file_, nullptr, _IONBF, 0);
  buffered_ = 0;
  remaining_ = record.size;
  buildCrcTable();
  runningCrc_ = kCrcInitialState;
  // Unsigned difference: right across the tick counter's wrap.
  DWORD now = GetTickCount();
  if (!shownAny_ || now - shownAt_ >= kShowFileInterval) {
    showFile(record.path);
    shownAny_ = true;
    shownAt_ = now;
  }
}

void FileSink::finishFile() {
  if (file_ == nullptr) return;
  const FileRecord& record = fileRecords[fileIndex_];
  // The last block reaches the disk only now: a full disk may show here first.
  bool written = writeBuffered() && (flushWrittenFiles == 0 || flushFileToDisk(file_));
  // A file that failed in any way is still given its time and recorded, so
  // that a roll-back deletes it. The time goes on through the stream's own
  // handle, after the last write (the stream is unbuffered, so its close
  // writes nothing more): no second open of the file.
  bool timed = setOpenFileTimes(streamFileHandle(file_), record.time);
  bool closed = fclose(file_) == 0 && written;
  file_ = nullptr;
  bool recorded = recordFile(record.path);
  bool intact = remaining_ > 0 || ~runningCrc_ == expectedCrc_;
  if (!closed || !timed || !recorded || !intact) {
    fail();
  } else {
    logLine("Wrote %s", record.path);
  }
  ++fileIndex_;
}

void FileSink::fail() {
  if (failed_ != 0) return;
  if (file_ != nullptr) {
    // The file exists now, whatever it holds: the roll-back must find it.
    // What waits in the buffer would only make it longer.
    buffered_ = 0;
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
  if (list.addRecord(path, kUninstallFile, !keptAside_)) return true;
  // Without a record no roll-back would find the file: it goes at once.
  DeleteFileA(path);
  return false;
}

#include "extract/extraction.h"

#include <cstring>

#include "base/paths.h"
#include "payload/catalogue.h"
#include "payload/decompressor.h"
#include "payload/file_records.h"
#include "extract/file_sink.h"
#include "payload/memory_sink.h"
#include "payload/payload_entry.h"
#include "extract/progress.h"
#include "base/context.h"
#include "base/fatal.h"
#include "base/message_box.h"
#include "base/run_log.h"

DynArray<FileRecord> fileRecords;
int32_t recordWrittenFiles = 1;
int32_t flushWrittenFiles = 0;
UninstallList unrecordedFiles;

namespace {

constexpr char kNoMemoryMessage[] = "Fatal: no memory";
constexpr char kCorruptMessage[] = "The setup file is corrupt";

// The size figures are only needed for the in-memory block.
constexpr int32_t kClusterSize = 32768;

// Reads the whole catalogue once before anything is created: a record that
// is cut short or too long, or a name that would reach outside the target
// folder once joined to it, makes the entry corrupt before any of it exists.
bool catalogueIsSound(const PayloadEntry& entry) {
  ByteCursor cursor(entry.body(), entry.bodySize());
  int32_t folderCount = 0;
  int32_t fileCount = 0;
  if (!readCatalogueCounts(cursor, &folderCount, &fileCount)) return false;
  char name[kNameLengthLimit];
  int32_t nameLength = 0;
  for (int32_t i = 0; i < folderCount; ++i) {
    if (!readFolderRecord(cursor, name, &nameLength) || !isContainedRelativePath(name)) return false;
  }
  CatalogueFile file;
  for (int32_t i = 0; i < fileCount; ++i) {
    if (!readFileRecord(cursor, &file) || !isContainedRelativePath(file.name)) return false;
  }
  return true;
}

// The target folder joined with a catalogue name, into `path`.
bool targetPath(const char* name, char* path) {
  ENSURE(memchr(installOptions.targetFolder, '\0', sizeof installOptions.targetFolder) != nullptr);
  strcpy(path, installOptions.targetFolder);
  return joinPath(path, name);
}

// The licence is read on the License page, where a cancel confirmed on an
// earlier Installing page may still stand: the messages are pumped, but
// nothing stops this extraction.
int licenceProgress(double fraction) {
  installProgress(fraction);
  return 1;
}

int32_t decodeIntoFolder(MemoryBitSource& source, Decompressor& decompressor) {
  FileSink sink;
  // A stop asked for by the progress function shows in the sink's state.
  decompressor.decodeStream(source, sink, installProgress);
  sink.flushByte();
  // A stop that falls after the last byte still counts as stopped; one that
  // comes with the last symbol leaves the entry complete.
  if (sink.complete()) return writeFailed != 0 ? kExtractStopped : kExtractDone;
  return writeFailed != 0 || cancelRequested != 0 ? kExtractStopped : kExtractCorrupt;
}

int32_t decodeIntoMemory(const PayloadEntry& entry, MemoryBitSource& source, Decompressor& decompressor,
                         uint8_t** memoryResult) {
  CatalogueSums sums = entry.sumCatalogue(kClusterSize);
  if (sums.failed != 0) return kExtractCorrupt;
  // One more byte for the terminator than an int32 can ask for is as good
  // as no memory.
  if (sums.rawBytes == INT32_MAX) return kExtractStopped;
  uint8_t* block = static_cast<uint8_t*>(allocateBlock(sums.rawBytes + 1));
  if (block == nullptr) return kExtractStopped;
  bool complete;
  {
    MemorySink sink(block, sums.rawBytes);
    decompressor.decodeStream(source, sink, licenceProgress);
    sink.flushByte();
    complete = sink.complete();
  }
  if (!complete) {
    freeBlock(block);
    return kExtractCorrupt;
  }
  block[sums.rawBytes] = 0;
  *memoryResult = block;
  return kExtractDone;
}

int32_t extractOpenEntry(const PayloadEntry& entry, uint8_t** memoryResult) {
  if (!catalogueIsSound(entry)) return kExtractCorrupt;
  bool intoFolder = memoryResult == nullptr;
  ByteCursor cursor(entry.body(), entry.bodySize());
  int32_t folderCount = 0;
  int32_t fileCount = 0;
  ENSURE(readCatalogueCounts(cursor, &folderCount, &fileCount));

  char name[kNameLengthLimit];
  int32_t nameLength = 0;
  char path[kPathBufferSize];
  // The first folder that could not be created. A file inside it cannot be
  // written and says so; a folder no file needs is reported once the rest of
  // the entry is done.
  char missingFolder[kPathBufferSize];
  missingFolder[0] = '\0';
  for (int32_t i = 0; i < folderCount; ++i) {
    ENSURE(readFolderRecord(cursor, name, &nameLength));
    // Extracting into memory creates nothing on disk.
    if (!intoFolder) continue;
    if (!targetPath(name, path)) return kExtractPathTooLong;
    // A folder that exists already is fine. One that is not there stays out
    // of the list, which names only what the uninstaller will find.
    // Never inside a junction or link planted below the target folder: such
    // a folder counts as one that could not be made.
    bool planted = passesReparsePoint(path, installOptions.targetFolder, false);
    bool made = !planted && CreateDirectoryA(path, nullptr) != FALSE;
    if (made || (!planted && GetLastError() == ERROR_ALREADY_EXISTS)) {
      if (made) logLine("Made the folder %s", path);
      uninstallList.addRecord(path, kUninstallFolder, made);
    } else if (missingFolder[0] == '\0') {
      strcpy(missingFolder, path);
    }
  }

  fileRecords.resize(fileCount);
  // A shorter array that could not be had keeps its old count, which the
  // sink would take for this entry's: no memory for it ends here, as the
  // bounds check ends a longer one.
  ENSURE(fileRecords.count() == fileCount);
  CatalogueFile file;
  for (int32_t i = 0; i < fileCount; ++i) {
    ENSURE(readFileRecord(cursor, &file));
    FileRecord& record = fileRecords[i];
    record.size = file.size;
    record.contentCrc = file.contentCrc;
    record.time.dwLowDateTime = static_cast<DWORD>(file.time);
    record.time.dwHighDateTime = static_cast<DWORD>(file.time >> 32);
    record.path[0] = '\0';
    if (intoFolder && !targetPath(file.name, record.path)) return kExtractPathTooLong;
  }

  writeFailed = 0;
  int32_t result = kExtractDone;
  if (fileCount > 0) {
    MemoryBitSource source(cursor.position(), cursor.end());
    Decompressor decompressor;
    result = intoFolder ? decodeIntoFolder(source, decompressor)
                        : decodeIntoMemory(entry, source, decompressor, memoryResult);
  }
  if (result == kExtractDone && missingFolder[0] != '\0') {
    reportWriteFailure(missingFolder);
    writeFailed = 1;
    result = kExtractStopped;
  }
  return result;
}

}  // namespace

int32_t extractEntry(int32_t id, uint8_t** memoryResult) {
  PayloadEntry entry = openEntry(id);
  if (!entry.present()) return kExtractCorrupt;
  int32_t result = extractOpenEntry(entry, memoryResult);
  if (result != kExtractDone) fileRecords.resize(0);
  entry.releaseEntry();
  return result;
}

char* extractToMemory(int32_t id, HWND owner) {
  uint8_t* block = nullptr;
  int32_t result = extractEntry(id, &block);
  if (result != kExtractDone) {
    freeBlock(block);
    showMessage(owner, result == kExtractStopped ? kNoMemoryMessage : kCorruptMessage, setupContext.caption, MB_OK);
    return nullptr;
  }
  // The licence entry always holds a file; one without is a broken build.
  ENSURE(block != nullptr);
  return reinterpret_cast<char*>(block);
}

bool setOpenFileTimes(HANDLE file, const FILETIME& time) { return SetFileTime(file, &time, nullptr, &time) != FALSE; }

bool setFileTimes(const char* path, const FILETIME& time) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool set = setOpenFileTimes(file, time);
  if (!CloseHandle(file)) return false;
  return set;
}

bool findCatalogueFile(int32_t id, const char* name, CatalogueFile* file, int32_t* offset) {
  PayloadEntry entry = openEntry(id);
  if (!entry.present()) return false;
  ByteCursor cursor(entry.body(), entry.bodySize());
  int32_t folderCount = 0;
  int32_t fileCount = 0;
  bool found = false;
  if (readCatalogueCounts(cursor, &folderCount, &fileCount)) {
    char folder[kNameLengthLimit];
    int32_t nameLength = 0;
    bool readable = true;
    for (int32_t i = 0; i < folderCount && readable; ++i) readable = readFolderRecord(cursor, folder, &nameLength);
    int64_t before = 0;
    for (int32_t i = 0; i < fileCount && readable && !found; ++i) {
      readable = readFileRecord(cursor, file);
      if (readable && pathsEqualIgnoringCase(file->name, name) && before <= INT32_MAX) {
        *offset = static_cast<int32_t>(before);
        found = true;
      }
      before += file->size;
    }
  }
  entry.releaseEntry();
  return found;
}

#include "extract/uninstall_list.h"

#include <cstring>

#include "base/held_folder.h"
#include "base/paths.h"
#include "platform/win32.h"

UninstallList uninstallList;

namespace {

// The longest path a record may hold: what fits a MAX_PATH buffer.
constexpr size_t kLongestRecordPath = kPathBufferSize - 1;

bool isKnownKind(int32_t kind) { return kind == kUninstallFile || kind == kUninstallFolder; }

// One item of the data file per write call, so that any short write is seen.
bool writeInt32(FILE* file, int32_t value) {
  uint32_t bits = static_cast<uint32_t>(value);
  unsigned char bytes[4] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                            static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
  return fwrite(bytes, sizeof bytes, 1, file) == 1;
}

bool readInt32(FILE* file, int32_t* value) {
  unsigned char bytes[4];
  if (fread(bytes, sizeof bytes, 1, file) != 1) return false;
  *value = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
  return true;
}

// The folder part of `filePath`, up to and including its last separator.
void copyFolderOf(const char* filePath, char* folder) {
  size_t length = strlen(filePath);
  ENSURE(length < static_cast<size_t>(kPathBufferSize));
  while (length > 0 && !isPathSeparator(filePath[length - 1])) --length;
  memcpy(folder, filePath, length);
  folder[length] = '\0';
}

// FNV-1a over the path with A to Z folded, as pathsEqualIgnoringCase
// compares, and the kind.
uint32_t recordHash(const char* path, int32_t kind) {
  uint32_t hash = 2166136261u ^ static_cast<uint32_t>(kind);
  for (const char* c = path; *c != '\0'; ++c) {
    uint32_t byte = static_cast<unsigned char>(*c);
    if (byte >= 'A' && byte <= 'Z') byte += 'a' - 'A';
    hash = (hash ^ byte) * 16777619u;
  }
  return hash;
}

constexpr int32_t kSmallestIndex = 64;

}  // namespace

int32_t UninstallList::indexSlotOf(const char* path, int32_t kind) const {
  uint32_t mask = static_cast<uint32_t>(indexSize_ - 1);
  for (uint32_t slot = recordHash(path, kind) & mask;; slot = (slot + 1) & mask) {
    const UninstallRecord* record = index_[slot];
    // The table is never full, so an empty slot ends every search.
    if (record == nullptr || (record->kind == kind && pathsEqualIgnoringCase(record->path, path)))
      return static_cast<int32_t>(slot);
  }
}

bool UninstallList::reserveIndexSlot() {
  if (indexSize_ > 0 && (indexed_ + 1) * 2 <= indexSize_) return true;
  int32_t size = indexSize_ > 0 ? indexSize_ * 2 : kSmallestIndex;
  // Beyond this the block size would not fit its 32-bit count.
  if (size > (INT32_MAX / static_cast<int32_t>(sizeof(UninstallRecord*))) / 2) return false;
  UninstallRecord** grown =
      static_cast<UninstallRecord**>(allocateBlock(size * static_cast<int32_t>(sizeof(UninstallRecord*))));
  if (grown == nullptr) return false;
  memset(static_cast<void*>(grown), 0, static_cast<size_t>(size) * sizeof(UninstallRecord*));
  if (index_ != nullptr) freeBlock(index_);
  index_ = grown;
  indexSize_ = size;
  indexed_ = 0;
  // Again in list order: of equal records the oldest stays the one found.
  for (PtrListNode<UninstallRecord>* node = records_.head(); node != nullptr; node = node->next) {
    int32_t slot = indexSlotOf(node->item->path, node->item->kind);
    if (index_[slot] != nullptr) continue;
    index_[slot] = node->item;
    ++indexed_;
  }
  return true;
}

bool UninstallList::appendRecord(const char* path, size_t length, int32_t kind, bool madeByThisRun) {
  if (!reserveIndexSlot()) return false;
  UninstallRecord* record = static_cast<UninstallRecord*>(allocateBlock(static_cast<int32_t>(sizeof(UninstallRecord))));
  if (record == nullptr) return false;
  char* text = static_cast<char*>(allocateBlock(static_cast<int32_t>(length + 1)));
  if (text == nullptr) {
    freeBlock(record);
    return false;
  }
  memcpy(text, path, length);
  text[length] = '\0';
  record->kind = kind;
  record->path = text;
  record->madeByThisRun = madeByThisRun ? 1 : 0;
  if (!records_.append(record)) {
    freeBlock(text);
    freeBlock(record);
    return false;
  }
  int32_t slot = indexSlotOf(text, kind);
  if (index_[slot] == nullptr) {
    index_[slot] = record;
    ++indexed_;
  }
  return true;
}

bool UninstallList::addRecord(const char* path, int32_t kind, bool madeByThisRun) {
  // Callers pass full paths built within MAX_PATH; anything else could not
  // be written to the data file or read back from it.
  ENSURE(path != nullptr);
  size_t length = strlen(path);
  ENSURE(length >= 1 && length <= kLongestRecordPath);
  ENSURE(isKnownKind(kind));
  UninstallRecord* found = indexSize_ > 0 ? index_[indexSlotOf(path, kind)] : nullptr;
  if (found != nullptr) {
    // Taken over, but no longer there when this run made it again.
    if (madeByThisRun) found->madeByThisRun = 1;
    return true;
  }
  return appendRecord(path, length, kind, madeByThisRun);
}

bool UninstallList::loadFrom(const char* filePath) { return load(filePath, false); }

bool UninstallList::loadForRemoval(const char* filePath) { return load(filePath, true); }

bool UninstallList::load(const char* filePath, bool salvage) {
  clear();
  char folder[kPathBufferSize];
  copyFolderOf(filePath, folder);
  normalisePath(folder, folder);
  FILE* file = openWindowsFile(filePath, "rb");
  if (file == nullptr) return false;

  int32_t magic = 0;
  int32_t version = 0;
  int32_t count = 0;
  bool ok = readInt32(file, &magic) && static_cast<uint32_t>(magic) == kUninstallMagic &&
            readInt32(file, &version) && version == kUninstallVersion && readInt32(file, &count);
  // A count of zero or below is an empty list, and the bytes after the last
  // record are never looked at.
  for (int32_t i = 0; ok && i < count; ++i) {
    int32_t kind = 0;
    int32_t length = 0;
    char path[kPathBufferSize];
    bool whole = readInt32(file, &kind) && readInt32(file, &length) && length >= 1 &&
                 length <= static_cast<int32_t>(kLongestRecordPath) &&
                 fread(path, static_cast<size_t>(length), 1, file) == 1;
    if (!whole) {
      // Where this record ends is unknown, so no later one can be read.
      ok = salvage;
      break;
    }
    if (!isKnownKind(kind)) {
      // Its length still leads to the next record.
      if (salvage) continue;
      ok = false;
      break;
    }
    path[length] = '\0';
    // Records are taken over as they stand, duplicates included; only those
    // outside the data file's folder are left behind. A record that names the
    // folder in another spelling (the folder as typed for an earlier
    // installation) is kept in the folder's own.
    char normal[kPathBufferSize];
    const char* kept = path;
    if (!isPathInsideFolder(path, folder) && normalisePath(path, normal)) kept = normal;
    if (isPathInsideFolder(kept, folder)) ok = appendRecord(kept, strlen(kept), kind, false);
  }
  fclose(file);
  if (!ok) clear();
  return ok;
}

bool UninstallList::saveTo(const char* filePath) const {
  FILE* file = openWindowsFile(filePath, "wb");
  if (file == nullptr) return false;
  int32_t count = 0;
  for (PtrListNode<UninstallRecord>* node = records_.head(); node != nullptr; node = node->next) ++count;
  bool ok = writeInt32(file, static_cast<int32_t>(kUninstallMagic)) && writeInt32(file, kUninstallVersion) &&
            writeInt32(file, count);
  for (PtrListNode<UninstallRecord>* node = records_.head(); ok && node != nullptr; node = node->next) {
    size_t length = strlen(node->item->path);
    // A zero-length item cannot be written: fwrite reports no item.
    ok = writeInt32(file, node->item->kind) && writeInt32(file, static_cast<int32_t>(length)) &&
         fwrite(node->item->path, length, 1, file) == 1;
  }
  // The writes above only fill the stream's buffer; a full disk shows when
  // the buffer goes out. The file is on the disk before anything that
  // relies on it (the end of a re-installation's backups) is done.
  if (ok && !flushFileToDisk(file)) ok = false;
  if (fclose(file) != 0) ok = false;
  return ok;
}

bool UninstallList::rollBack(const char* folder) {
  bool ok = true;
  // Newest first: an entry's files were recorded after its folders, so the
  // folders are empty by the time they are tried. What cannot be deleted
  // stays, and the walk goes on.
  for (PtrListNode<UninstallRecord>* node = records_.tail(); node != nullptr; node = node->previous) {
    const UninstallRecord* record = node->item;
    if (!isKnownKind(record->kind)) {
      ok = false;
      continue;
    }
    // What was there before this run stays: an earlier installation's, and
    // files kept aside, which restoreKeptFiles puts back.
    if (record->madeByThisRun == 0 || passesReparsePoint(record->path, folder, false)) continue;
    if (record->kind == kUninstallFile) {
      DeleteFileA(record->path);
    } else {
      letGoOfFolderAt(record->path);
      RemoveDirectoryA(record->path);
    }
  }
  clear();
  return ok;
}

void UninstallList::clear() {
  for (PtrListNode<UninstallRecord>* node = records_.head(); node != nullptr; node = node->next) {
    freeBlock(node->item->path);
    freeBlock(node->item);
  }
  records_.clearNodes();
  if (index_ != nullptr) freeBlock(index_);
  index_ = nullptr;
  indexSize_ = 0;
  indexed_ = 0;
}

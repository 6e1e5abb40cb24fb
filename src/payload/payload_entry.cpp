#include "payload/payload_entry.h"

#include "payload/bit_stream.h"
#include "payload/catalogue.h"
#include "payload/checksum.h"
#include "base/context.h"
#include "base/fatal.h"

PayloadEntry openEntry(int32_t id) {
  PayloadEntry entry;
  HMODULE module = setupContext.instance;
  HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(kPayloadResourceType));
  if (info == nullptr) return entry;
  HGLOBAL resource = LoadResource(module, info);
  if (resource == nullptr) return entry;
  DWORD size = SizeofResource(module, info);
  const uint8_t* bytes = static_cast<const uint8_t*>(LockResource(resource));
  // The size is checked before the totalSize field is read from the data.
  if (bytes == nullptr || size < static_cast<DWORD>(kEntryHeaderBytes) || size > 0x7FFFFFFFu ||
      loadUint32(bytes + kTotalSizeOffset) != size) {
    FreeResource(resource);
    return entry;
  }
  entry.resource_ = resource;
  entry.bytes_ = bytes;
  entry.size_ = static_cast<int32_t>(size);
  return entry;
}

PayloadEntry::PayloadEntry(PayloadEntry&& other)
    : resource_(other.resource_), bytes_(other.bytes_), size_(other.size_) {
  other.resource_ = nullptr;
  other.bytes_ = nullptr;
  other.size_ = 0;
}

PayloadEntry& PayloadEntry::operator=(PayloadEntry&& other) {
  // Overwriting a held entry would lose the resource without giving it back.
  ENSURE(bytes_ == nullptr);
  resource_ = other.resource_;
  bytes_ = other.bytes_;
  size_ = other.size_;
  other.resource_ = nullptr;
  other.bytes_ = nullptr;
  other.size_ = 0;
  return *this;
}

void PayloadEntry::releaseEntry() {
  if (bytes_ == nullptr) return;
  FreeResource(resource_);
  resource_ = nullptr;
  bytes_ = nullptr;
  size_ = 0;
}

const uint8_t* PayloadEntry::body() const {
  ENSURE(bytes_ != nullptr);
  return bytes_ + kBodyOffset;
}

int32_t PayloadEntry::bodySize() const {
  ENSURE(bytes_ != nullptr);
  return size_ - kBodyOffset;
}

bool PayloadEntry::verifyChecksum() const {
  ENSURE(bytes_ != nullptr);
  return payloadChecksum(body(), bodySize()) == loadUint32(bytes_ + kChecksumOffset);
}

CatalogueSums PayloadEntry::sumCatalogue(int32_t clusterSize) const {
  ENSURE(clusterSize > 0);
  CatalogueSums sums = {0, 0, clusterSize, 0, 0};
  ByteCursor cursor(body(), bodySize());
  int32_t folderCount = 0;
  int32_t fileCount = 0;
  if (!readCatalogueCounts(cursor, &folderCount, &fileCount)) {
    sums.failed = 1;
    return sums;
  }
  char name[kNameLengthLimit];
  int32_t nameLength = 0;
  for (int32_t i = 0; i < folderCount; ++i) {
    if (!readFolderRecord(cursor, name, &nameLength)) {
      sums.failed = 1;
      return sums;
    }
  }
  // Summed in 64 bits: the figures are int32, and a sum past that is refused
  // rather than left to wrap.
  int64_t rawBytes = 0;
  int64_t clusterBytes = 0;
  CatalogueFile file;
  for (int32_t i = 0; i < fileCount; ++i) {
    if (!readFileRecord(cursor, &file)) {
      sums.failed = 1;
      return sums;
    }
    rawBytes += file.size;
    clusterBytes += static_cast<int64_t>(clusterSize) * ((file.size + static_cast<int64_t>(clusterSize) - 1) / clusterSize);
    if (rawBytes > INT32_MAX || clusterBytes > INT32_MAX) {
      sums.failed = 1;
      return sums;
    }
    sums.rawBytes = static_cast<int32_t>(rawBytes);
    sums.clusterBytes = static_cast<int32_t>(clusterBytes);
    if (file.nameLength > sums.longestName) sums.longestName = file.nameLength;
  }
  return sums;
}

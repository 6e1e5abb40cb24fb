#include "vmpack/entry_reader.h"

#include "payload/bit_stream.h"
#include "payload/checksum.h"
#include "payload/decompressor.h"
#include "vmpack/byte_sink.h"
#include "vmpack/codepage.h"

bool readEntryCatalogue(const std::vector<uint8_t>& entry, EntryCatalogue* catalogue, std::string* problem) {
  if (entry.size() < static_cast<size_t>(kEntryHeaderBytes) || entry.size() > 0x7FFFFFFFu) {
    *problem = "it is " + std::to_string(entry.size()) + " bytes long, not a payload entry";
    return false;
  }
  uint32_t totalSize = loadUint32(entry.data() + kTotalSizeOffset);
  if (totalSize != entry.size()) {
    *problem = "its size field says " + std::to_string(totalSize) + " bytes, but it has " +
               std::to_string(entry.size());
    return false;
  }
  int32_t bodySize = static_cast<int32_t>(entry.size()) - kBodyOffset;
  if (payloadChecksum(entry.data() + kBodyOffset, bodySize) != loadUint32(entry.data() + kChecksumOffset)) {
    *problem = "its checksum does not match";
    return false;
  }
  ByteCursor cursor(entry.data() + kBodyOffset, bodySize);
  int32_t folderCount = 0;
  int32_t fileCount = 0;
  if (!readCatalogueCounts(cursor, &folderCount, &fileCount)) {
    *problem = "its catalogue counts are damaged";
    return false;
  }
  for (int32_t i = 0; i < folderCount; ++i) {
    char name[kNameLengthLimit];
    int32_t nameLength = 0;
    if (!readFolderRecord(cursor, name, &nameLength)) {
      *problem = "folder record " + std::to_string(i + 1) + " is damaged";
      return false;
    }
    catalogue->folders.emplace_back(name, static_cast<size_t>(nameLength));
  }
  for (int32_t i = 0; i < fileCount; ++i) {
    CatalogueFile file;
    if (!readFileRecord(cursor, &file)) {
      *problem = "file record " + std::to_string(i + 1) + " is damaged";
      return false;
    }
    catalogue->files.push_back(file);
    catalogue->contentBytes += static_cast<uint64_t>(file.size);
  }
  catalogue->streamOffset = static_cast<size_t>(cursor.position() - entry.data());
  if (fileCount == 0 && catalogue->streamOffset != entry.size()) {
    *problem = "bytes follow the catalogue of an entry without files";
    return false;
  }
  if (catalogue->contentBytes * 8 > 0x7FFFFFFFu) {
    *problem = "its files hold more than one stream can carry";
    return false;
  }
  return true;
}

bool decodeEntryContents(const std::vector<uint8_t>& entry, const EntryCatalogue& catalogue,
                         std::vector<uint8_t>* content, std::string* problem) {
  content->clear();
  if (catalogue.files.empty()) return true;
  const uint8_t* start = entry.data() + catalogue.streamOffset;
  const uint8_t* end = entry.data() + entry.size();
  if (end - start < 4 || loadUint32(start) != catalogue.contentBytes * 8) {
    *problem = "its stream does not announce the catalogue's " + std::to_string(catalogue.contentBytes) + " bytes";
    return false;
  }
  MemoryBitSource source(start, end);
  ByteSink sink(content, catalogue.contentBytes);
  Decompressor decompressor;
  decompressor.decodeStream(source, sink, nullptr);
  sink.flushByte();
  // What is left must be the zero padding of the last byte.
  int64_t leftBits = (end - start) * int64_t{8} - source.bitsRead;
  if (leftBits >= 8 || (end[-1] >> (8 - leftBits)) != 0) {
    *problem = "data follows the end of its stream";
    return false;
  }
  size_t offset = 0;
  for (const CatalogueFile& file : catalogue.files) {
    uint32_t crc = payloadChecksum(content->data() + offset, file.size);
    if (crc != file.contentCrc) {
      *problem = "the content of \"" + windows1252ToUtf8(file.name) + "\" fails its CRC";
      return false;
    }
    offset += static_cast<size_t>(file.size);
  }
  return true;
}

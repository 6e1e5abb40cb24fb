#include "payload/catalogue.h"

namespace {

// A record that was there but is not valid fails the cursor like a short one.
bool refuse(ByteCursor& cursor) {
  cursor.markFailed();
  return false;
}

bool readName(ByteCursor& cursor, char* name, int32_t* nameLength) {
  int32_t length = 0;
  if (!readInt32(cursor, &length)) return false;
  if (length < 0 || length >= kNameLengthLimit) return refuse(cursor);
  if (!cursor.read(name, length)) return false;
  name[length] = '\0';
  *nameLength = length;
  return true;
}

}  // namespace

uint32_t loadUint32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool readUint32(ByteCursor& cursor, uint32_t* value) {
  uint8_t bytes[4];
  if (!cursor.read(bytes, 4)) return false;
  *value = loadUint32(bytes);
  return true;
}

bool readInt32(ByteCursor& cursor, int32_t* value) {
  uint32_t raw = 0;
  if (!readUint32(cursor, &raw)) return false;
  *value = static_cast<int32_t>(raw);
  return true;
}

bool readCatalogueCounts(ByteCursor& cursor, int32_t* folderCount, int32_t* fileCount) {
  if (!readInt32(cursor, folderCount) || !readInt32(cursor, fileCount)) return false;
  if (*folderCount < 0 || *fileCount < 0) return refuse(cursor);
  return true;
}

bool readFolderRecord(ByteCursor& cursor, char* name, int32_t* nameLength) {
  return readName(cursor, name, nameLength);
}

bool readFileRecord(ByteCursor& cursor, CatalogueFile* file) {
  uint32_t timeLow = 0;
  uint32_t timeHigh = 0;
  if (!readInt32(cursor, &file->size) || !readUint32(cursor, &file->contentCrc) ||
      !readUint32(cursor, &timeLow) || !readUint32(cursor, &timeHigh))
    return false;
  file->time = static_cast<uint64_t>(timeHigh) << 32 | timeLow;
  if (!readName(cursor, file->name, &file->nameLength)) return false;
  if (file->size <= 0) return refuse(cursor);
  return true;
}

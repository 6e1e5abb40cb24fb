// The layout of a payload entry and the reading of its catalogue.
//
// All integers are little-endian, 32 bits wide:
//   0   totalSize    bytes of the whole entry (equals the resource's size)
//   4   checksum     payloadChecksum over bytes 8 to totalSize - 1
//   8   folderCount  folder records that follow (signed)
//   12  fileCount    file records that follow them (signed)
//   16  folder records: nameLength, name
//       file records: size, contentCrc, time (FILETIME, low half first),
//                     nameLength, name
//       the compressed stream, to the end of the entry; none without files
// Names are paths relative to the target folder, single-byte ANSI, levels
// separated by a backslash, no terminator, below 260 bytes. Folders come
// parents first. The stream decodes to the files' contents back to back, in
// catalogue order.
#ifndef VM_PAYLOAD_CATALOGUE_H
#define VM_PAYLOAD_CATALOGUE_H

#include <cstdint>

#include "payload/bit_stream.h"

// Payload entries are resources of this numeric type, language 1033.
constexpr int32_t kPayloadResourceType = 1000;

constexpr int32_t kTotalSizeOffset = 0;
constexpr int32_t kChecksumOffset = 4;
// The checksum covers the entry from here on, and body() starts here.
constexpr int32_t kBodyOffset = 8;
constexpr int32_t kEntryHeaderBytes = 16;
constexpr int32_t kFolderRecordFixedBytes = 4;
constexpr int32_t kFileRecordFixedBytes = 20;
// Names are shorter than this; with a terminator they fill a MAX_PATH buffer.
constexpr int32_t kNameLengthLimit = 260;

// One file record. The name is zero-terminated here for the caller's use.
struct CatalogueFile {
  int32_t size;
  uint32_t contentCrc;
  uint64_t time;  // FILETIME: 100-ns intervals since 1601-01-01 UTC
  int32_t nameLength;
  char name[kNameLengthLimit];
};

// The little-endian 32-bit value at `bytes`.
uint32_t loadUint32(const uint8_t* bytes);

// Each reader returns false when the catalogue ends early or contradicts the
// format; the cursor's failed flag is then set. The counts come from the
// entry's body, that is from offset 8.
bool readUint32(ByteCursor& cursor, uint32_t* value);
bool readInt32(ByteCursor& cursor, int32_t* value);
bool readCatalogueCounts(ByteCursor& cursor, int32_t* folderCount, int32_t* fileCount);
// name (kNameLengthLimit bytes) receives the zero-terminated folder name.
bool readFolderRecord(ByteCursor& cursor, char* name, int32_t* nameLength);
// A file of size 0 or less is refused: no sink can carry one.
bool readFileRecord(ByteCursor& cursor, CatalogueFile* file);

#endif  // VM_PAYLOAD_CATALOGUE_H

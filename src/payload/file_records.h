// The files of the entry being extracted, as its catalogue describes them.
#ifndef VM_PAYLOAD_FILE_RECORDS_H
#define VM_PAYLOAD_FILE_RECORDS_H

#include <cstdint>

#include "base/paths.h"
#include "base/containers.h"
#include "platform/win32.h"

struct FileRecord {
  // The target folder joined with the catalogue name; unset when the entry
  // is extracted into memory.
  char path[kPathBufferSize];
  int32_t size;         // at least 1: no sink can carry an empty file
  uint32_t contentCrc;  // payloadChecksum of the content
  FILETIME time;        // the file's creation and last-write time
};

// Sized to the entry's file count when its catalogue is read; emptied again
// whenever an extraction fails, so it holds the last successful entry's files.
extern DynArray<FileRecord> fileRecords;

#endif  // VM_PAYLOAD_FILE_RECORDS_H

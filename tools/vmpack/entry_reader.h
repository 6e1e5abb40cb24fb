// Reads a payload entry the way the program does, through its catalogue
// readers and its decoder, and checks it more strictly than the program
// needs to: the packer's list, verify and extract commands.
#ifndef VM_TOOLS_VMPACK_ENTRY_READER_H
#define VM_TOOLS_VMPACK_ENTRY_READER_H

#include <cstdint>
#include <string>
#include <vector>

#include "payload/catalogue.h"

struct EntryCatalogue {
  std::vector<std::string> folders;
  std::vector<CatalogueFile> files;
  size_t streamOffset = 0;  // from the start of the entry
  uint64_t contentBytes = 0;
};

// Checks the header (totalSize against the entry's real size, the checksum)
// and reads the catalogue. False with the reason when the entry is corrupt.
bool readEntryCatalogue(const std::vector<uint8_t>& entry, EntryCatalogue* catalogue, std::string* problem);

// Decodes the stream into the files' contents back to back and checks the
// stream's bit count, each file's CRC and that nothing but zero padding
// follows the last item. A stream that contradicts itself ends in the
// internal-error path of whatever links the decoder: the packer reports the
// entry as corrupt there.
bool decodeEntryContents(const std::vector<uint8_t>& entry, const EntryCatalogue& catalogue,
                         std::vector<uint8_t>* content, std::string* problem);

#endif  // VM_TOOLS_VMPACK_ENTRY_READER_H

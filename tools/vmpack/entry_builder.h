// Makes a whole payload entry in memory from folders and files: the header,
// the catalogue, the stream of all contents back to back and the checksum.
// The packer's pack command and the tests use it.
#ifndef VM_TOOLS_VMPACK_ENTRY_BUILDER_H
#define VM_TOOLS_VMPACK_ENTRY_BUILDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "vmpack/parse.h"

// Names are as the catalogue stores them: Windows-1252 bytes, levels
// separated by backslashes.
struct EntryFile {
  std::string name;
  std::vector<uint8_t> content;
  uint64_t time = 0;  // FILETIME
};

struct EntryContents {
  std::vector<std::string> folders;  // parents first
  std::vector<EntryFile> files;      // in the order their contents are stored
};

// Why a name cannot be stored, or an empty text when it can: the limits of the
// catalogue and of Windows names (no control characters, no < > : " / | ? *,
// no empty, "." or ".." level, none ending in a space or a dot, no device
// name such as CON or LPT1).
std::string nameProblem(const std::string& name);

// The entry's bytes, or false with a one-line reason that names the file or
// folder at fault: a bad name, a folder listed before its parent or twice, an
// empty file (the format cannot carry one), a file of 2 GiB or more, or more
// content than one stream can carry.
bool buildEntry(const EntryContents& contents, const ParseOptions& options, std::vector<uint8_t>* entry,
                std::string* error);

// For tests: folders and (name, content) files, all with one time. Builds with
// the default options and ends the test with a message on failure.
std::vector<uint8_t> makeEntry(const std::vector<std::string>& folders,
                               const std::vector<std::pair<std::string, std::string>>& files,
                               uint64_t time = 0);

// Shows a stored name in messages: its Windows-1252 bytes as UTF-8.
std::string displayName(const std::string& name);

#endif  // VM_TOOLS_VMPACK_ENTRY_BUILDER_H

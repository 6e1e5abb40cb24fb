// The host's side of packing and extracting: folders and files on disk,
// UTF-8 names, modification times.
#ifndef VM_TOOLS_VMPACK_HOST_FILES_H
#define VM_TOOLS_VMPACK_HOST_FILES_H

#include <cstdint>
#include <string>
#include <vector>

#include "vmpack/entry_builder.h"
#include "vmpack/entry_reader.h"

// Reads a folder tree into entry contents: every folder below it as a folder
// record, parents first and sorted; every file as a file record, grouped by
// kind (extension) so that similar contents sit close together in the stream;
// times from the files' modification times unless `fixedTime` is given.
// False with a one-line reason (naming the file) when the tree cannot be
// packed.
bool readFolderTree(const std::string& folder, const uint64_t* fixedTime, EntryContents* contents,
                    std::string* error);

// Orders files as readFolderTree does: by extension, then by name, then by
// full name, all ignoring case.
void sortFilesForPacking(std::vector<EntryFile>* files);

// Writes the folders and files of a decoded entry below `folder` (created when
// missing), each file with its stored time. Catalogue names that could escape
// the folder or that the host cannot write are refused before anything is
// written.
bool writeEntryTree(const std::string& folder, const EntryCatalogue& catalogue, const std::vector<uint8_t>& content,
                    std::string* error);

// FILETIME and the host's file times.
bool fileTimeOf(const std::string& path, uint64_t* time);
bool setFileTime(const std::string& path, uint64_t time);

// Reads or writes a whole file; false with a reason.
bool readWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);
// Writes through a temporary file in the same folder that is renamed at the
// end, so that a failure leaves no partial file behind.
bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

#endif  // VM_TOOLS_VMPACK_HOST_FILES_H

// The extraction engine: one payload entry into folders and files below the
// target folder, or, for the licence text, into one block of memory.
#ifndef VM_EXTRACT_EXTRACTION_H
#define VM_EXTRACT_EXTRACTION_H

#include <cstdint>

#include "extract/uninstall_list.h"
#include "payload/catalogue.h"
#include "platform/win32.h"

enum ExtractResult : int32_t {
  kExtractDone = 0,
  // The entry is absent, its catalogue is damaged or names something outside
  // the target folder, or its data did not fill the catalogued files.
  kExtractCorrupt = 1,
  // A file could not be written (the user has been told), or the user
  // cancelled; in memory: no block for the content.
  kExtractStopped = 2,
  // A folder or file would lie beyond the 259-character path limit.
  kExtractPathTooLong = 3,
};

// 1 at start. While it is non-zero every file the engine writes goes into the
// uninstall list; while it is 0 (the uninstaller's own entry) files go into
// unrecordedFiles instead. Folders are always recorded. The installation
// sets it before each entry.
extern int32_t recordWrittenFiles;

// While non-zero, every file the engine writes is on the disk before it is
// closed, not only in the system's cache: a re-installation sets it, so that
// its files are kept by a power failure once the earlier installation's
// backups are gone. 0 at start.
extern int32_t flushWrittenFiles;

// Files written while recordWrittenFiles was 0: kept out of the uninstall
// data, so that the uninstaller does not delete itself, but deleted by a
// roll-back like everything else the installation made.
extern UninstallList unrecordedFiles;

// Extracts entry `id`. With memoryResult null, into the target folder: the
// folders are created and recorded, the files written, checked, given their
// stored times and recorded, each named on the Installing dialog. A folder
// that cannot be created is not recorded; the first file inside it fails,
// and a folder no file needs is reported as not written once the rest of the
// entry is done (a stop). Otherwise
// the files' contents, back to back and followed by one zero byte, go into a
// block from allocateBlock that *memoryResult receives (untouched for an
// entry without files); nothing is created on disk then. Returns an
// ExtractResult. Before anything of the entry is created, the whole
// catalogue is checked, so a corrupt entry leaves no trace.
int32_t extractEntry(int32_t id, uint8_t** memoryResult);

// The zero-terminated contents of entry `id` in a block the caller frees with
// freeBlock, or null after telling the user, in a box owned by `owner`, that
// memory ran out or that the setup file is corrupt.
char* extractToMemory(int32_t id, HWND owner);

// Sets the creation and last-write time of the file at `path` and leaves its
// last-access time alone.
bool setFileTimes(const char* path, const FILETIME& time);
// The same through a handle open for writing: once set so, the times stay
// as they are when the handle is closed.
bool setOpenFileTimes(HANDLE file, const FILETIME& time);

// The catalogue record of entry `id`'s file `name` (as stored, letter case
// ignored), and where its content begins among the entry's files as
// extractEntry puts them into memory, back to back. False when the entry is
// absent, its catalogue cannot be read or it lists no such file.
bool findCatalogueFile(int32_t id, const char* name, CatalogueFile* file, int32_t* offset);

#endif  // VM_EXTRACT_EXTRACTION_H

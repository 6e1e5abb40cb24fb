// Replacing or deleting a file that Windows holds at the next start of
// Windows: through the system's delayed move on NT, through the "rename"
// section of wininit.ini on Windows 95, 98 and ME.
#ifndef VM_INSTALL_REPLACE_ON_RESTART_H
#define VM_INSTALL_REPLACE_ON_RESTART_H

// Schedules `sourceFolder`\`sourceName` to be moved onto
// `destinationFolder`\`destinationName` at the next start, and marks that a
// restart is needed. Both folders must exist: they are written in their
// short (8.3) form, which is all that wininit.ini's processing understands;
// the names are written as given. Nothing is scheduled when it fails.
bool replaceOnRestart(const char* sourceFolder, const char* sourceName, const char* destinationFolder,
                      const char* destinationName);

// Schedules the file or empty folder `path`, which must exist, to be deleted
// at the next start: a delayed move to nothing on NT, a "NUL=" line with the
// path's 8.3 form in wininit.ini elsewhere. Marks nothing; the caller keeps
// count of what waits for the restart. Nothing is scheduled when it fails.
bool deleteOnRestart(const char* path);

#endif  // VM_INSTALL_REPLACE_ON_RESTART_H

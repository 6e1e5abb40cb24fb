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

// Takes back the first move still waiting for the next start onto
// `destinationFolder`\`destinationName` (in the 8.3 form replaceOnRestart
// writes, or the long one) whose source `accepts`: its pair in the session
// manager's list on NT, its line in wininit.ini elsewhere. The source's path,
// as scheduled, goes into `source` (kPathBufferSize characters); the file
// itself stays. False when there is no such move or it cannot be taken back.
bool cancelReplacementOnRestart(const char* destinationFolder, const char* destinationName,
                                bool (*accepts)(const char* source), char* source);

#endif  // VM_INSTALL_REPLACE_ON_RESTART_H

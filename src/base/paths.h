// Path rules shared by every installation step. Paths are ANSI texts in
// buffers of MAX_PATH (260) characters, so at most 259 characters, always
// drive-rooted; both backslash and slash separate levels, and the program
// itself only ever inserts backslashes.
#ifndef VM_BASE_PATHS_H
#define VM_BASE_PATHS_H

constexpr int kPathBufferSize = 260;

bool isPathSeparator(char ch);

// A letter, a colon and a separator: network and drive-relative paths are
// not supported anywhere in the program.
bool isDriveRootedPath(const char* path);

// Appends `name` to the folder in `buffer` (kPathBufferSize characters) with
// one backslash between them unless the folder already ends in a separator or
// is empty. Fails, leaving the buffer as it was, when the result would not fit.
bool joinPath(char* buffer, const char* name);

// True when the two paths are the same text, the letters A to Z compared
// without regard to case (other bytes, those of the code page's own letters
// included, must match exactly).
bool pathsEqualIgnoringCase(const char* a, const char* b);

// True when `path` names something strictly below `folder`, both
// drive-rooted: the folder's
// levels, compared as pathsEqualIgnoringCase does and with either separator
// and runs of separators alike, followed by at least one more level. The
// folder itself is not inside it, nor is C:\Target2\x inside C:\Target. A
// level of dots and spaces only (such as "..") would let the path climb out
// again once Windows resolves it, so such a path never counts as inside.
bool isPathInsideFolder(const char* path, const char* folder);

// True when `name`, joined to any folder, names something strictly below
// it: not empty, no drive ("C:x" or "C:\x"), no leading separator, and no
// level made of dots and spaces only (such as ".."), which Windows would
// resolve to the folder itself or above it.
bool isContainedRelativePath(const char* name);

// True when both drive-rooted paths name the same folder: the same levels,
// compared as isPathInsideFolder compares them, whatever separators stand
// between and after them. A level of dots and spaces only makes it false.
bool pathsNameSameFolder(const char* a, const char* b);

// Copies the folder part of `path` (the text before its last separator) into
// `folder` (kPathBufferSize characters), without trailing separators unless
// they make a drive's root (C:\).
void copyFolderOfPath(const char* path, char* folder);

// The one spelling Windows gives a drive-rooted path, so that two spellings
// of one folder compare equal: the full path ("." and ".." resolved, the
// trailing dots and spaces Windows ignores dropped, one backslash between
// levels, none at the end) in which every level that exists is written as
// its folder lists it, the long name for an 8.3 alias and in the letters it
// was created with. False when the path is not drive-rooted or its full form
// does not fit.
bool normalisePath(const char* path, char* normal);

// pathsNameSameFolder for a path in any spelling and a folder already
// normalised; a path that cannot be normalised is compared as it is.
bool namesNormalFolder(const char* path, const char* normalFolder);
// The same for the folder a file lies directly in.
bool isFileInNormalFolder(const char* path, const char* normalFolder);

// True when something of that name exists, a file or a folder.
bool pathExists(const char* path);

// True when a file of that name exists (not a folder).
bool fileExists(const char* path);

// True when a level of `path` inside `folder` (with `includingLast`, its last
// level too) is a reparse point: a junction or symbolic link, which leads
// somewhere else, perhaps outside the folder. A user who may write to the
// folder can plant one there; the elevated program must then not write or
// delete through it. Windows 9x has none. A path not inside `folder` counts
// as one. With `includingLast`, `lastIsFile` (may be null) learns from the
// same look whether the path names a file that exists, saving a look of its own.
bool passesReparsePoint(const char* path, const char* folder, bool includingLast, bool* lastIsFile = nullptr);

// Creates every level of a drive-rooted folder path that does not exist yet.
// Levels made before a failure are left in place.
bool createDirectoryPath(const char* path);

#endif  // VM_BASE_PATHS_H

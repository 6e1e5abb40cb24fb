// The folder a run works in, held open for the whole run on Windows NT.
//
// A user who may write to the folder, or to a folder above it, could rename
// it between the program's checks and its writes or deletions and put a
// junction in its place, leading them somewhere else. While a handle without
// delete sharing is open on the folder, Windows lets no one rename or delete
// it, nor rename any folder above it (something below is in use), so the
// path keeps naming the folder the run checked. Windows 95 to ME have neither
// such handles nor junctions.
#ifndef VM_BASE_HELD_FOLDER_H
#define VM_BASE_HELD_FOLDER_H

// Holds `folder`, a normalised path of a folder that exists, until
// releaseHeldFolder (letting go of any folder held before). False, holding
// nothing, when the path does not lead straight to the folder held: a level
// of it, from the drive's root down, is a junction or link, or the folder
// cannot be opened. Always true on Windows 95 to ME.
bool holdFolder(const char* folder);

// True when a level of the drive-rooted `path`, from the drive's root down
// (its last level included), is a junction or link.
bool leadsThroughReparsePoint(const char* path);

// Lets the held folder go, when `path` names it: a folder that is held
// cannot be removed. From then on nothing more is done inside it.
void letGoOfFolderAt(const char* path);

void releaseHeldFolder();

#endif  // VM_BASE_HELD_FOLDER_H

// Files of an earlier installation that a run writes over are kept aside
// until the run's data file is saved, so that a roll-back puts the folder back
// as it was: the earlier installation stays whole when a re-installation is
// cancelled or fails.
//
// A file about to be written over is moved, within its drive, to
// _vmkept\NNNN.bak in the target folder (NNNN from 0000, the first name
// free; the run makes the folder), after a line naming both has been added
// to the journal _vmkept.lst there:
//   BACKUP NAME|ORIGINAL PATH BELOW THE TARGET FOLDER CR LF
// The journal is the only thing that makes a backup one: it exists exactly
// while a run that kept files can still roll back. Saving the data file
// deletes the journal first, then the backups and their folder. A run that
// ended without either (the power failed) leaves the journal, and the next
// run into the folder, or the uninstaller, finishes its roll-back before
// anything else: each backup goes back in place, newest first. Backups
// without a journal, or with an empty one, are leftovers of a run that was
// saved: they are deleted. Nothing outside the backup folder is ever taken
// for a backup.
#ifndef VM_EXTRACT_KEPT_FILES_H
#define VM_EXTRACT_KEPT_FILES_H

constexpr char kKeptJournalName[] = "_vmkept.lst";

// Moves the file at `path`, which the extraction is about to write over, to
// a backup in the target folder, noting it in the journal first. False when
// no backup could be made (the file is in use, the names are too long): the
// file must then not be written.
bool keepAside(const char* path);

// Puts every backup named in `folder`'s journal back in place, newest first,
// then deletes the journal, then any backups left without a journal. Only
// originals inside `folder` and backups of the form above are acted on,
// whatever a journal says; a backup that cannot go back (the original is in
// use, or reached through a junction) keeps the journal and every backup for
// a later run to try again.
void restoreKeptFiles(const char* folder);

// The run's data file is saved: its backups are no longer needed. The
// journal goes first, so that from then on nothing can take the backups for
// a roll-back still to be made; one that cannot be deleted (another program
// holds it) is emptied instead, which puts nothing back either. False when
// it can be neither: it still lists the backups, which a later run would put
// back over this one, so the run must be rolled back now.
bool discardKeptFiles(const char* folder);

#endif  // VM_EXTRACT_KEPT_FILES_H

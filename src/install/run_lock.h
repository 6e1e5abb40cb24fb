// One run of the product's setup or uninstaller at a time. Both change the
// same folder, data file and backup journal, and read then write the driver's
// SharedDLLs count: two at once could each undo what the other did.
#ifndef VM_INSTALL_RUN_LOCK_H
#define VM_INSTALL_RUN_LOCK_H

// The named mutex, after the product, so that another product's installer
// is never held up: in the global namespace where Windows has one (2000 with
// Terminal Services and later: every user's session), else plain.
extern const char kRunLockName[];
extern const char kGlobalRunLockName[];

// Takes the lock for the rest of the process (Windows releases it when the
// process ends). False when another run of the setup or the uninstaller
// holds it: the caller tells the user and changes nothing.
bool takeRunLock();

// For the uninstaller's copy whose original waits for it, holding the lock
// for both: opens the lock the original holds (or takes it, should the
// original have ended meanwhile), so that it stays held once the copy has
// ended the original. False only when the lock refuses this user.
bool joinRunLock();

#endif  // VM_INSTALL_RUN_LOCK_H

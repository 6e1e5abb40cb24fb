// The installation proper, run once from the Installing page: the target
// folder, the payload of every selected component, the uninstall data file,
// the registration, the Start Menu items and the pipe driver.
#ifndef VM_INSTALL_INSTALLATION_H
#define VM_INSTALL_INSTALLATION_H

#include <cstdint>

// What runInstallation returns; any other value is the extraction's own
// failure code (a path too long).
enum InstallationResult : int32_t {
  kInstallationDone = 0,
  kInstallationCorrupt = 1,  // a payload entry is damaged
  kInstallationStopped = 2,  // cancelled, or a step failed and said so
};

// Every message that belongs to the result has been shown, owned by the
// Installing dialog, when it returns. A failed or cancelled extraction and a
// data file that cannot be written remove everything the installation made
// (and what an earlier installation into the same folder listed); the
// registry, the Start Menu items and the driver are never undone.
int32_t runInstallation();

#endif  // VM_INSTALL_INSTALLATION_H

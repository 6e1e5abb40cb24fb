// The Velk Pipe MIDI driver in the system folder, shared by every
// installation of the product on the machine.
#ifndef VM_UNINSTALL_PIPE_DRIVER_REMOVAL_H
#define VM_UNINSTALL_PIPE_DRIVER_REMOVAL_H

#include "uninstall/removal.h"

// When the product's key names a driver ("VelkPipe"), lowers its shared-file
// count. The last installation to go (count 1, or no count at all) removes
// the count, the driver's registration with Windows, the driver file (at the
// next start when Windows holds it) and "VelkPipe". A file without the
// driver marker is not this product's and stays. Without the right to write
// the count, nothing is touched.
void removePipeDriver(RemovalTally& tally);

#endif  // VM_UNINSTALL_PIPE_DRIVER_REMOVAL_H

// The Velk Pipe MIDI driver: moved from the target folder into the Windows
// system folder under a free name, registered with Windows as a MIDI driver,
// counted as a shared file, and remembered in the product's key. An earlier
// copy of the driver that Windows may hold is replaced at the next start.
#ifndef VM_INSTALL_PIPE_DRIVER_H
#define VM_INSTALL_PIPE_DRIVER_H

// Marks a restart as needed once the driver is registered. On failure nothing
// done before it is undone.
bool installPipeDriver();

// True when something of that name exists, a file or a folder.
bool pathExists(const char* path);

// True when the file can be read and contains the driver marker, the text
// both of the product's drivers hold: a file in the system folder that has it
// is an earlier copy of this product's driver.
bool hasDriverMarker(const char* path);

#endif  // VM_INSTALL_PIPE_DRIVER_H

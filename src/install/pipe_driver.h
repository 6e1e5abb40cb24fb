// The Velk Pipe MIDI driver: written from the payload into the Windows
// system folder under a free name, registered with Windows as a MIDI driver,
// counted as a shared file, and remembered in the product's key. An earlier
// copy of the driver that Windows may hold is replaced at the next start.
#ifndef VM_INSTALL_PIPE_DRIVER_H
#define VM_INSTALL_PIPE_DRIVER_H

#include "extract/uninstall_list.h"

// Where the driver is known to Windows and to the product. "VelkPipe", in
// the product's key under HKEY_LOCAL_MACHINE, holds the driver's file name in
// the system folder; SharedDLLs counts the installations that use the file
// by its full path. On NT the driver is a Drivers32 value "midi" or "midi1"
// to "midi99" and a drivers.desc value named after the file; on Windows 95,
// 98 and ME the key "MIDIVelkModular" of system.ini's "drivers" section.
extern const char kPipeDriverValue[];
extern const char kSharedDllsKeyPath[];
extern const char kDrivers32KeyPath[];
extern const char kDriversDescKeyPath[];
extern const int kMidiSlots;
extern const char kSystemIni[];
extern const char kSystemIniSection[];
extern const char kSystemIniKey[];

// The Drivers32 value name of slot `slot` (0 to kMidiSlots - 1): "midi",
// then "midi1" to "midi99". `name` holds at least 8 characters.
void midiSlotName(int slot, char* name);

// Marks a restart as needed once the driver is registered. On failure nothing
// done before it is undone. `countedBefore`: the installation in this folder
// that is being replaced counted the driver already, and so it is not
// counted again.
bool installPipeDriver(bool countedBefore = false);

// True when `list` records the family's driver source file in `folder`: the mark of
// an installation that installed the driver (the source itself goes once it
// is copied; its record stays in the data file). Only such an installation
// counted the driver, and only it may release it.
bool listsPipeDriverSource(const UninstallList& list, const char* folder);

// True when the file can be read and contains the driver marker, the text
// both of the product's drivers hold: a file in the system folder that has it
// is an earlier copy of this product's driver.
bool hasDriverMarker(const char* path);

#endif  // VM_INSTALL_PIPE_DRIVER_H

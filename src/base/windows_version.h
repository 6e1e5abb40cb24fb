// Which family of Windows the program runs on. The NT family gets the 32-bit
// pipe driver, registry-based driver registration and per-user uninstall
// entries; Windows 95, 98 and ME get the 16-bit driver and system.ini.
#ifndef VM_BASE_WINDOWS_VERSION_H
#define VM_BASE_WINDOWS_VERSION_H

// Asks the system anew on every call. A failed version query is an internal
// error: it never fails on a sound machine.
bool isWindowsNT();

#endif  // VM_BASE_WINDOWS_VERSION_H

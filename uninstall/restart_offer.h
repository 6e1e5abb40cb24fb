// The closing message when something waits for the next start of Windows.
#ifndef VM_UNINSTALL_RESTART_OFFER_H
#define VM_UNINSTALL_RESTART_OFFER_H

#include <cstddef>

// Shows `text` (a buffer of `size` bytes, which it extends) with the notice
// that files in use go at the next start of Windows.
void offerRestart(char* text, size_t size);

#endif  // VM_UNINSTALL_RESTART_OFFER_H

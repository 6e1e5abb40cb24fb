// The component table, which groups payload entries into installable
// components, and the start-up check of every entry with the size figures the
// wizard pages show.
#ifndef VM_PAYLOAD_COMPONENT_TABLE_H
#define VM_PAYLOAD_COMPONENT_TABLE_H

#include <cstddef>
#include <cstdint>

#include "base/context.h"

// Ends each component's list of entry ids.
constexpr int32_t kEndOfEntries = -1;
constexpr int32_t kPipeDriverEntry9x = 400;
constexpr int32_t kPipeDriverEntryNt = 450;

// One list of entry ids per component number, each ended by kEndOfEntries,
// then a null after the seventh list. Constant apart from the pipe driver's id.
typedef const int32_t* const ComponentTable[kComponentCount + 1];
extern ComponentTable componentTable;

// Windows NT takes the 32-bit pipe driver: entry 450 stands in for 400 in the
// pipe driver component's list, and the other systems keep 400. The setup
// driver calls it with isWindowsNT() before verifyPayload.
void selectPipeDriverEntry(bool windowsNt);

// The short names that /COMPONENTS= takes, by component number: program,
// standard, library, pipe, examples, skins. The support files have none:
// they come along with any of the others.
extern const char* const kComponentShortNames[kComponentSupport];

// The component whose short name is the `length` characters at `name`,
// letters in any case; -1 when none is.
int32_t componentOfShortName(const char* name, size_t length);

struct ComponentSizes {
  int32_t rawBytes;
  int32_t clusterBytes;  // file sizes rounded up to 32768-byte clusters
  int32_t longestName;
};

// Filled by verifyPayload; index = component number.
extern ComponentSizes componentSizes[kComponentCount];
// The longest stored file name over every component.
extern int32_t longestPayloadName;

// The record of one component; a number outside 0 to 6 is an internal error.
ComponentSizes& sizesOfComponent(int32_t component);

// Opens every entry of every component, checks its size and checksum and sums
// its catalogue into componentSizes and longestPayloadName. Returns 1 when
// every entry is sound, 0 at the first one that is not.
int verifyPayload();

#endif  // VM_PAYLOAD_COMPONENT_TABLE_H

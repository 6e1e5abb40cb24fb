// Locating a payload entry among the program's resources, its checksum and the
// walk over its catalogue that sums the file sizes.
#ifndef VM_PAYLOAD_PAYLOAD_ENTRY_H
#define VM_PAYLOAD_PAYLOAD_ENTRY_H

#include <cstdint>

#include "platform/win32.h"

struct CatalogueSums {
  int32_t rawBytes;      // sum of the file sizes
  int32_t clusterBytes;  // sum of the file sizes, each rounded up to a cluster
  int32_t clusterSize;   // the cluster size asked for
  int32_t longestName;   // longest file name; folder names do not count
  // 1 when the catalogue runs past the entry, breaks the format or sums
  // beyond int32; the other fields are then incomplete.
  int32_t failed;
};

// A located entry. It points into the program's own resource data, which
// stays valid until releaseEntry; the bytes are never copied.
class PayloadEntry {
 public:
  PayloadEntry() = default;
  // Never copied: only one holder may give the resource back. Moving hands
  // it over and leaves the source absent; an entry still held may not be
  // overwritten.
  PayloadEntry(const PayloadEntry&) = delete;
  PayloadEntry& operator=(const PayloadEntry&) = delete;
  PayloadEntry(PayloadEntry&& other);
  PayloadEntry& operator=(PayloadEntry&& other);

  bool present() const { return bytes_ != nullptr; }

  // Gives the resource back; nothing when the entry is absent. Afterwards the
  // entry is absent.
  void releaseEntry();

  // The bytes from offset 8 on and their number. On an absent entry these are
  // internal errors.
  const uint8_t* body() const;
  int32_t bodySize() const;

  // The checksum over body() equals the stored one. Internal error when absent.
  bool verifyChecksum() const;

  // Sums the file records. Checks every bound, so that a catalogue that
  // passed its checksum but was written wrongly cannot make it read past the
  // entry. Internal error when absent.
  CatalogueSums sumCatalogue(int32_t clusterSize) const;

 private:
  friend PayloadEntry openEntry(int32_t id);

  HGLOBAL resource_ = nullptr;
  const uint8_t* bytes_ = nullptr;
  int32_t size_ = 0;
};

// Finds resource `id` of type 1000 in the program's module. The entry is
// absent when the resource cannot be found, loaded or locked, is shorter than
// the 16-byte header, or its size differs from the totalSize field; a
// resource that was loaded is given back in those cases.
PayloadEntry openEntry(int32_t id);

#endif  // VM_PAYLOAD_PAYLOAD_ENTRY_H

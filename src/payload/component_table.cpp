#include "payload/component_table.h"

#include <cstring>

#include "base/fatal.h"
#include "base/paths.h"
#include "payload/payload_entry.h"

namespace {

constexpr int32_t kClusterSize = 32768;

const int32_t programEntries[] = {100, 101, 102, 103, 104, 105, kEndOfEntries};
const int32_t standardModuleEntries[] = {200, kEndOfEntries};
const int32_t libraryModuleEntries[] = {300, kEndOfEntries};
int32_t pipeDriverEntries[] = {kPipeDriverEntry9x, kEndOfEntries};
const int32_t exampleEntries[] = {500, kEndOfEntries};
const int32_t skinEntries[] = {600, 601, kEndOfEntries};
// The uninstaller, the Internet shortcut and the licence text.
const int32_t supportEntries[] = {1000, 1001, 1002, kEndOfEntries};

}  // namespace

ComponentTable componentTable = {
    programEntries, standardModuleEntries, libraryModuleEntries, pipeDriverEntries,
    exampleEntries, skinEntries,           supportEntries,       nullptr};

const char* const kComponentShortNames[kComponentSupport] = {"program", "standard", "library",
                                                               "pipe",    "examples", "skins"};

int32_t componentOfShortName(const char* name, size_t length) {
  char written[16];
  if (length == 0 || length >= sizeof written) return -1;
  memcpy(written, name, length);
  written[length] = '\0';
  for (int32_t component = 0; component < kComponentSupport; ++component)
    if (pathsEqualIgnoringCase(written, kComponentShortNames[component])) return component;
  return -1;
}

ComponentSizes componentSizes[kComponentCount];
int32_t longestPayloadName = 0;

void selectPipeDriverEntry(bool windowsNt) {
  int32_t from = windowsNt ? kPipeDriverEntry9x : kPipeDriverEntryNt;
  int32_t to = windowsNt ? kPipeDriverEntryNt : kPipeDriverEntry9x;
  for (int32_t* id = pipeDriverEntries; *id >= 0; ++id) {
    if (*id == from) *id = to;
  }
}

ComponentSizes& sizesOfComponent(int32_t component) {
  ENSURE(component >= 0 && component < kComponentCount);
  return componentSizes[component];
}

int verifyPayload() {
  // A broken build of the table, not anything the data can cause.
  ENSURE(componentTable[kComponentCount] == nullptr);
  longestPayloadName = 0;
  for (int32_t component = 0; component < kComponentCount; ++component) {
    const int32_t* ids = componentTable[component];
    ENSURE(ids != nullptr);
    ComponentSizes& sizes = sizesOfComponent(component);
    sizes = ComponentSizes{0, 0, 0};
    for (; *ids >= 0; ++ids) {
      PayloadEntry entry = openEntry(*ids);
      if (!entry.present() || !entry.verifyChecksum()) {
        entry.releaseEntry();
        return 0;
      }
      CatalogueSums sums = entry.sumCatalogue(kClusterSize);
      entry.releaseEntry();
      // A catalogue that breaks the format counts as a damaged entry, and so
      // does a component too large for the int32 figures.
      int64_t rawBytes = static_cast<int64_t>(sizes.rawBytes) + sums.rawBytes;
      int64_t clusterBytes = static_cast<int64_t>(sizes.clusterBytes) + sums.clusterBytes;
      if (sums.failed || rawBytes > INT32_MAX || clusterBytes > INT32_MAX) return 0;
      sizes.rawBytes = static_cast<int32_t>(rawBytes);
      sizes.clusterBytes = static_cast<int32_t>(clusterBytes);
      if (sums.longestName > sizes.longestName) sizes.longestName = sums.longestName;
    }
    if (sizes.longestName > longestPayloadName) longestPayloadName = sizes.longestName;
  }
  return 1;
}

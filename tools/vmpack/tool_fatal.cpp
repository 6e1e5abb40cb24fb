#include "vmpack/tool_fatal.h"

#include <cstdio>
#include <cstdlib>

#include "base/fatal.h"
#include "platform/host_processor.h"

namespace {

std::string failedCheckLine;

}  // namespace

void reportFailedChecksAs(const std::string& line) { failedCheckLine = line; }

void fatalInternalError(int32_t fileNumber, int32_t lineNumber) {
  if (failedCheckLine.empty()) {
    fprintf(stderr, "vmpack: internal error (file %d, line %d)\n", static_cast<int>(fileNumber),
            static_cast<int>(lineNumber));
  } else {
    fprintf(stderr, "%s\n", failedCheckLine.c_str());
  }
  fflush(nullptr);
  // No destructors: the check may have failed halfway through changing them.
  _Exit(1);
}

void* allocateBlock(int32_t size) {
  if (size < 0) return nullptr;
  return malloc(size > 0 ? static_cast<size_t>(size) : 1);
}

void freeBlock(void* block) { free(block); }

// The checksums' question to the platform, answered by the host.
bool processorHasCarrylessMultiply(void) { return hostHasCarrylessMultiply(); }

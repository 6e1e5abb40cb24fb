#include "fuzz_guard.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <sanitizer/asan_interface.h>

#include "base/fatal.h"

namespace {

// Every block carries its place in a list of live blocks and the run that
// allocated it, so that the blocks of a run that jumped can be found.
struct alignas(alignof(std::max_align_t)) BlockHeader {
  BlockHeader* previous;
  BlockHeader* next;
  uint64_t run;
};

// Headers stay poisoned while the program runs, so that a write just before
// a block is still the sanitizer's finding; these open and close them.
BlockHeader* opened(BlockHeader* header) {
  if (header != nullptr) ASAN_UNPOISON_MEMORY_REGION(header, sizeof(BlockHeader));
  return header;
}

void closed(BlockHeader* header) {
  if (header != nullptr) ASAN_POISON_MEMORY_REGION(header, sizeof(BlockHeader));
}

BlockHeader* newestBlock = nullptr;
// 0 outside a guarded run; runs are numbered from 1 and never reused.
uint64_t currentRun = 0;
uint64_t runsStarted = 0;
std::jmp_buf* recovery = nullptr;
int64_t internalErrors = 0;
int32_t heapLimit = kFuzzHeapLimit;
int64_t refused = 0;

// On stdout: the targets that let the program's messages go to stderr run
// with it closed.
void printRunFigures() {
  fprintf(stdout, "stat::guarded_runs: %llu\nstat::internal_errors: %lld\n",
          static_cast<unsigned long long>(runsStarted), static_cast<long long>(internalErrors));
}

// Takes an open header out of the list and frees it.
void release(BlockHeader* header) {
  if (BlockHeader* older = opened(header->previous)) {
    older->next = header->next;
    closed(older);
  }
  if (BlockHeader* newer = opened(header->next)) {
    newer->previous = header->previous;
    closed(newer);
  }
  if (newestBlock == header) newestBlock = header->previous;
  free(header);
}

void reclaimBlocksOf(uint64_t run) {
  BlockHeader* header = newestBlock;
  while (opened(header) != nullptr) {
    BlockHeader* older = header->previous;
    if (header->run == run) {
      release(header);
    } else {
      closed(header);
    }
    header = older;
  }
}

}  // namespace

bool runGuarded(void (*body)(void* context), void* context, void (*tidy)()) {
  if (recovery != nullptr) {
    fputs("fuzz: guarded runs do not nest\n", stderr);
    abort();
  }
  if (runsStarted == 0) atexit(printRunFigures);
  std::jmp_buf jump;
  const uint64_t run = ++runsStarted;
  currentRun = run;
  recovery = &jump;
  bool returned = false;
  if (setjmp(jump) == 0) {
    body(context);
    returned = true;
  } else {
    // A check failing while the objects are tidied is no longer this run's.
    recovery = nullptr;
    if (tidy != nullptr) tidy();
    reclaimBlocksOf(run);
  }
  recovery = nullptr;
  currentRun = 0;
  return returned;
}

void fatalInternalError(int32_t fileNumber, int32_t lineNumber) {
  if (recovery == nullptr) {
    fprintf(stderr, "fuzz: internal error outside a guarded run (file %d, line %d)\n", static_cast<int>(fileNumber),
            static_cast<int>(lineNumber));
    abort();
  }
  ++internalErrors;
  std::longjmp(*recovery, 1);
}

void limitHeap(int32_t bytes) { heapLimit = bytes < kFuzzHeapLimit ? bytes : kFuzzHeapLimit; }

int64_t refusedBlocks() { return refused; }

void* allocateBlock(int32_t size) {
  if (size < 0) return nullptr;
  BlockHeader* header = nullptr;
  if (size <= heapLimit) header = static_cast<BlockHeader*>(malloc(sizeof(BlockHeader) + static_cast<size_t>(size)));
  if (header == nullptr) {
    ++refused;
    return nullptr;
  }
  header->previous = newestBlock;
  header->next = nullptr;
  header->run = currentRun;
  if (opened(newestBlock) != nullptr) {
    newestBlock->next = header;
    closed(newestBlock);
  }
  newestBlock = header;
  closed(header);
  return header + 1;
}

void freeBlock(void* block) {
  if (block == nullptr) return;
  release(opened(static_cast<BlockHeader*>(block) - 1));
}

// The fuzz build's side of the internal-error path and of the heap, linked
// in place of the program's own (src/base/fatal.cpp) as the packer links
// its own: a failed check must hand control back to the fuzzer, which then
// goes on with its next input, instead of ending the process.
//
// A target runs the program's code for one input inside runGuarded. A failed
// check jumps back there; the frames in between are abandoned without their
// destructors, so every block that allocateBlock handed out during the run
// and that is still live is freed then. Whatever else the abandoned frames
// owned (open files, blocks kept by process-wide objects) is the target's to
// keep out of the guarded run or to put right afterwards.
#ifndef VM_TESTS_FUZZ_FUZZ_GUARD_H
#define VM_TESTS_FUZZ_FUZZ_GUARD_H

#include <cstdint>

// Blocks above this size are refused as a heap that cannot supply them
// refuses them: a damaged count may ask for gigabytes, and what the program
// does then (its "no memory" path) is what is worth running, not the
// sanitizer's allocation limit.
constexpr int32_t kFuzzHeapLimit = 64 << 20;

// From now on blocks above `bytes` are refused as well, as by a heap that
// is nearly used up; kFuzzHeapLimit restores the default.
void limitHeap(int32_t bytes);

// Blocks refused so far, whatever the reason.
int64_t refusedBlocks();

// Runs body(context). True when it returned, false when a check failed
// inside it. After a failed check, `tidy` (when given) runs first, while the
// run's blocks are still allocated, to put process-wide objects that hold
// some of them back into an empty state through their own operations; then
// the blocks still live are freed. Guarded runs do not nest; a failed check
// outside any run is a finding and aborts. At exit the process prints how
// many runs there were and how many of them ended in the internal-error
// path, beside libFuzzer's own final figures.
bool runGuarded(void (*body)(void* context), void* context, void (*tidy)() = nullptr);

#endif  // VM_TESTS_FUZZ_FUZZ_GUARD_H

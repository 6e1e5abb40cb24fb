// One simulated machine for the whole life of a fuzz target: its drives are
// folders under a fresh temporary folder, which goes away when the process
// ends normally (after a finding the folder stays, to be looked at).
#ifndef VM_TESTS_FUZZ_FUZZ_MACHINE_H
#define VM_TESTS_FUZZ_FUZZ_MACHINE_H

// Starts the machine; call once, from LLVMFuzzerInitialize.
void startFuzzMachine();

#endif  // VM_TESTS_FUZZ_FUZZ_MACHINE_H

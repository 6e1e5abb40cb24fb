// One simulated machine for the whole life of a fuzz target: its drives are
// folders under a fresh temporary folder, which goes away when the process
// ends normally (after a finding the folder stays, to be looked at).
#ifndef VM_TESTS_FUZZ_FUZZ_MACHINE_H
#define VM_TESTS_FUZZ_FUZZ_MACHINE_H

// Starts the machine; call once, from LLVMFuzzerInitialize.
void startFuzzMachine();

// A fresh machine over the same drives, whose files stay as they are: what
// the sim records of a run (message boxes, resource look-ups, file times)
// would otherwise grow with every input. Streams the program left open are
// closed first.
void resetFuzzMachine();

#endif  // VM_TESTS_FUZZ_FUZZ_MACHINE_H

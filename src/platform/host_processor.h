// The processor of a host build (the tests, the sim and the packer's tools),
// where the program's code runs on the build machine's own processor.
#ifndef VM_PLATFORM_HOST_PROCESSOR_H
#define VM_PLATFORM_HOST_PROCESSOR_H

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

// The host's answer to processorHasCarrylessMultiply: every system a host
// build runs on keeps the SSE registers, so the processor alone decides.
inline bool hostHasCarrylessMultiply() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_PCLMUL) != 0 && (ecx & bit_SSSE3) != 0;
#else
  return false;
#endif
}

#endif  // VM_PLATFORM_HOST_PROCESSOR_H

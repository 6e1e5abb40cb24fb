// The processor's feature flags on real Windows.
#include <cpuid.h>

#include "platform/win32.h"

namespace {

const uint32_t kFloatingPointUnitBit = 1u << 0;

// The classic test for a coprocessor: FNINIT clears its status word and
// FNSTSW stores it; without a unit nothing is stored and the marker stays.
// (Where Windows emulates a missing unit, the emulator answers and counts as
// one: the program's arithmetic then runs on it.)
bool probeFloatingPointUnit() {
  volatile uint16_t status = 0x5A5A;
  __asm__ volatile("fninit\n\tfnstsw %0" : "=m"(status));
  return (status & 0xFF) == 0;
}

}  // namespace

uint32_t processorFeatureFlags(void) {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  // Fails on a processor without CPUID (the ID flag of EFLAGS cannot be
  // toggled) and on one whose CPUID stops before function 1.
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return edx;
  return probeFloatingPointUnit() ? kFloatingPointUnitBit : 0;
}

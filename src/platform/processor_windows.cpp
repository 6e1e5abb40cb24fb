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

bool processorHasCarrylessMultiply(void) {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (ecx & bit_PCLMUL) == 0 || (ecx & bit_SSSE3) == 0) return false;
  // Windows 95 and NT 4.0 do not save the SSE registers (and executing one
  // of their instructions faults there); the systems that do answer this
  // question, which the others lack or answer no.
  const DWORD kSse2Available = 10;  // PF_XMMI64_INSTRUCTIONS_AVAILABLE
  HMODULE kernel = LoadLibraryA("kernel32.dll");
  if (kernel == nullptr) return false;
  typedef BOOL(WINAPI * IsProcessorFeaturePresentFunction)(DWORD);
  FARPROC found = GetProcAddress(kernel, "IsProcessorFeaturePresent");
  bool saved = found != nullptr && reinterpret_cast<IsProcessorFeaturePresentFunction>(
                                        reinterpret_cast<void*>(found))(kSse2Available) != 0;
  FreeLibrary(kernel);
  return saved;
}

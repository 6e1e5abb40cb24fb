#include "install/run_lock.h"

#include "platform/win32.h"

const char kRunLockName[] = "Velk Modular Setup";
const char kGlobalRunLockName[] = "Global\\Velk Modular Setup";

bool takeRunLock() {
  // Windows 95 to ME and NT 4 know no namespaces and refuse a name with a
  // backslash; there the plain name is machine-wide anyway. A lock that
  // another user's run made may refuse this user access: it is held all the
  // same.
  HANDLE lock = CreateMutexA(nullptr, FALSE, kGlobalRunLockName);
  if (lock == nullptr && GetLastError() == ERROR_ACCESS_DENIED) return false;
  if (lock == nullptr) lock = CreateMutexA(nullptr, FALSE, kRunLockName);
  // A system that can make no mutex at all leaves nothing to guard with;
  // refusing every run there would help no one.
  if (lock == nullptr) return GetLastError() != ERROR_ACCESS_DENIED;
  // Never closed: the handle is the lock, until the process ends.
  return GetLastError() != ERROR_ALREADY_EXISTS;
}

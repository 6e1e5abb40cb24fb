#include "install/run_lock.h"

#include "platform/win32.h"

const char kRunLockName[] = "Velk Modular Setup";
const char kGlobalRunLockName[] = "Global\\Velk Modular Setup";

namespace {

// Makes the lock's mutex, or opens it when it exists (*existed). False when
// another user's run made it and refuses this user access: held all the
// same. Windows 95 to ME and NT 4 know no namespaces and refuse a name with
// a backslash; there the plain name is machine-wide anyway. The handle is
// never closed: it is the lock, until the process ends.
bool openRunLock(bool* existed) {
  HANDLE lock = CreateMutexA(nullptr, FALSE, kGlobalRunLockName);
  if (lock == nullptr && GetLastError() == ERROR_ACCESS_DENIED) return false;
  if (lock == nullptr) lock = CreateMutexA(nullptr, FALSE, kRunLockName);
  // A system that can make no mutex at all leaves nothing to guard with;
  // refusing every run there would help no one.
  if (lock == nullptr) {
    *existed = false;
    return GetLastError() != ERROR_ACCESS_DENIED;
  }
  *existed = GetLastError() == ERROR_ALREADY_EXISTS;
  return true;
}

}  // namespace

bool takeRunLock() {
  bool existed = false;
  return openRunLock(&existed) && !existed;
}

bool joinRunLock() {
  bool existed = false;
  return openRunLock(&existed);
}

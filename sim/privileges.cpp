// Process tokens, privileges, security descriptors and the restart of
// Windows on the simulated machine. A restart request is recorded, never
// carried out. A security descriptor is kept as the text it was made from.
//
// On the NT family a user normally holds the shutdown privilege, disabled
// until the process enables it; ExitWindowsEx refuses a restart without it.
// Windows 95, 98 and ME know no tokens or privileges and restart on request.
#include <strings.h>

#include <set>

#include "sim/machine.h"

using sim::machine;

namespace {

const uintptr_t kFirstTokenHandle = 0x40000000;
const LUID kShutdownPrivilege = {0x13, 0};

struct PrivilegeState {
  bool userHoldsShutdownRight = true;
  bool shutdownPrivilegeEnabled = false;
  bool lookupFails = false;
  bool tokenOpenFails = false;
  bool restartVetoed = false;
  std::set<uintptr_t> openTokens;
  uintptr_t nextToken = kFirstTokenHandle;
  std::vector<sim::RestartRequest> restartRequests;
  // Descriptors made and not yet given back with LocalFree.
  std::set<std::string*> descriptors;
};

PrivilegeState& privileges() {
  static PrivilegeState state;
  return state;
}

sim::ResetHook clearPrivileges([] { privileges() = PrivilegeState(); });

bool onNT() { return sim::windowsFamily() == sim::WindowsFamily::NT; }

bool isShutdownPrivilege(const LUID& luid) {
  return luid.LowPart == kShutdownPrivilege.LowPart && luid.HighPart == kShutdownPrivilege.HighPart;
}

}  // namespace

namespace sim {

void setUserHoldsShutdownRight(bool holds) { privileges().userHoldsShutdownRight = holds; }
void setPrivilegeLookupFails(bool fails) { privileges().lookupFails = fails; }
void setProcessTokenOpenFails(bool fails) { privileges().tokenOpenFails = fails; }
void setRestartVetoed(bool vetoed) { privileges().restartVetoed = vetoed; }
bool shutdownPrivilegeEnabled() { return privileges().shutdownPrivilegeEnabled; }
int openTokenCount() { return static_cast<int>(privileges().openTokens.size()); }
const std::vector<RestartRequest>& restartRequests() { return privileges().restartRequests; }

bool closeTokenHandle(HANDLE object) { return privileges().openTokens.erase(reinterpret_cast<uintptr_t>(object)) != 0; }

}  // namespace sim

// The process handle is a pseudo handle, -1, as in Windows.
HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD, PHANDLE token) {
  if (!onNT()) {
    machine().lastError = ERROR_CALL_NOT_IMPLEMENTED;
    return FALSE;
  }
  if (process != GetCurrentProcess() || token == nullptr) {
    machine().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (privileges().tokenOpenFails) {
    machine().lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  uintptr_t handle = privileges().nextToken;
  privileges().nextToken += 4;
  privileges().openTokens.insert(handle);
  *token = reinterpret_cast<HANDLE>(handle);
  return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
  if (!onNT()) {
    machine().lastError = ERROR_CALL_NOT_IMPLEMENTED;
    return FALSE;
  }
  if (privileges().lookupFails || systemName != nullptr || name == nullptr ||
      strcasecmp(name, SE_SHUTDOWN_NAME) != 0) {
    machine().lastError = ERROR_NO_SUCH_PRIVILEGE;
    return FALSE;
  }
  *luid = kShutdownPrivilege;
  return TRUE;
}

// Succeeds even when a privilege the user does not hold is asked for; the
// last error then says ERROR_NOT_ALL_ASSIGNED, as Windows does.
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAllPrivileges, PTOKEN_PRIVILEGES newState, DWORD,
                                  PTOKEN_PRIVILEGES, LPDWORD) {
  if (privileges().openTokens.count(reinterpret_cast<uintptr_t>(token)) == 0) {
    machine().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (disableAllPrivileges) {
    privileges().shutdownPrivilegeEnabled = false;
    machine().lastError = ERROR_SUCCESS;
    return TRUE;
  }
  bool allAssigned = true;
  for (DWORD i = 0; newState != nullptr && i < newState->PrivilegeCount; ++i) {
    const LUID_AND_ATTRIBUTES& entry = newState->Privileges[i];
    if (!isShutdownPrivilege(entry.Luid) || !privileges().userHoldsShutdownRight) {
      allAssigned = false;
      continue;
    }
    privileges().shutdownPrivilegeEnabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  machine().lastError = allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED;
  return TRUE;
}

BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason) {
  bool allowed = !onNT() || privileges().shutdownPrivilegeEnabled;
  bool granted = allowed && !privileges().restartVetoed;
  privileges().restartRequests.push_back(sim::RestartRequest{flags, reason, granted});
  if (!allowed) {
    machine().lastError = ERROR_PRIVILEGE_NOT_HELD;
    return FALSE;
  }
  if (!granted) {
    machine().lastError = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI simConvertStringSecurityDescriptorToSecurityDescriptorA(LPCSTR text, DWORD revision,
                                                                    PSECURITY_DESCRIPTOR* descriptor, PULONG size) {
  const DWORD kSddlRevision1 = 1;
  if (text == nullptr || descriptor == nullptr || revision != kSddlRevision1) {
    machine().lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  std::string* made = new std::string(text);
  privileges().descriptors.insert(made);
  *descriptor = made;
  if (size != nullptr) *size = static_cast<ULONG>(made->size() + 1);
  return TRUE;
}

namespace sim {

bool securityDescriptorText(const void* descriptor, std::string* text) {
  std::string* made = static_cast<std::string*>(const_cast<void*>(descriptor));
  if (privileges().descriptors.count(made) == 0) return false;
  *text = *made;
  return true;
}

int openSecurityDescriptorCount() { return static_cast<int>(privileges().descriptors.size()); }

}  // namespace sim

HLOCAL WINAPI LocalFree(HLOCAL memory) {
  if (memory == nullptr) return nullptr;
  std::string* made = static_cast<std::string*>(memory);
  if (privileges().descriptors.erase(made) == 0) {
    machine().lastError = ERROR_INVALID_HANDLE;
    return memory;
  }
  delete made;
  return nullptr;
}

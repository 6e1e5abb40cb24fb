// Resources of the program's executable: the payload entries a test installs.
#include <cstdlib>
#include <map>
#include <utility>

#include "sim/machine.h"

using sim::machine;

struct SimResourceInfo {
  std::vector<uint8_t> bytes;
};

namespace {

struct ResourceState {
  // Keyed by (type, id). The map's nodes stay put, so HRSRC values and the
  // data pointers handed out remain valid while the resource is installed.
  std::map<std::pair<int, int>, SimResourceInfo> resources;
  std::map<const void*, int> loaded;
  sim::ResourceFailure failure = sim::ResourceFailure::none;
  std::vector<int> lookups;
};

ResourceState& resourceState() {
  static ResourceState state;
  return state;
}

sim::ResetHook clearResources([] { resourceState() = ResourceState(); });

SimModule programItself;

// A numeric resource name: an integer resource, or "#123" as Windows accepts.
bool numericName(LPCSTR name, int* value) {
  if (IS_INTRESOURCE(name)) {
    *value = static_cast<int>(reinterpret_cast<ULONG_PTR>(name));
    return true;
  }
  if (name[0] != '#' || name[1] == '\0') return false;
  char* end = nullptr;
  long parsed = strtol(name + 1, &end, 10);
  if (*end != '\0' || parsed < 0 || parsed > 0xFFFF) return false;
  *value = static_cast<int>(parsed);
  return true;
}

// The data of a resource; never null, even for an empty one, as in an image.
const void* dataOf(const SimResourceInfo& info) {
  static const uint8_t emptyData = 0;
  return info.bytes.empty() ? &emptyData : info.bytes.data();
}

}  // namespace

namespace sim {

HMODULE programModule() { return &programItself; }

void addResource(int type, int id, const std::vector<uint8_t>& bytes) {
  resourceState().resources[{type, id}].bytes = bytes;
}

void removeResource(int type, int id) { resourceState().resources.erase({type, id}); }

void setResourceFailure(ResourceFailure failure) { resourceState().failure = failure; }

int loadedResourceCount() {
  int count = 0;
  for (const auto& entry : resourceState().loaded) count += entry.second;
  return count;
}

const std::vector<int>& resourceLookups() { return resourceState().lookups; }

}  // namespace sim

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  ResourceState& state = resourceState();
  int id = 0;
  int typeId = 0;
  bool numeric = numericName(name, &id);
  if (numeric) state.lookups.push_back(id);
  // Only the program's own image has resources here.
  if (module != nullptr && module != &programItself) {
    machine().lastError = ERROR_RESOURCE_DATA_NOT_FOUND;
    return nullptr;
  }
  bool typeKnown = false;
  if (numericName(type, &typeId)) {
    for (const auto& entry : state.resources) typeKnown = typeKnown || entry.first.first == typeId;
  }
  if (!typeKnown) {
    machine().lastError = ERROR_RESOURCE_TYPE_NOT_FOUND;
    return nullptr;
  }
  auto found = numeric ? state.resources.find({typeId, id}) : state.resources.end();
  if (found == state.resources.end()) {
    machine().lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
    return nullptr;
  }
  return &found->second;
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC info) {
  if (info == nullptr || resourceState().failure == sim::ResourceFailure::load) {
    machine().lastError = info == nullptr ? ERROR_INVALID_HANDLE : ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  const void* data = dataOf(*info);
  ++resourceState().loaded[data];
  // As on Win32, the handle of a loaded resource is the address of its data.
  return reinterpret_cast<HGLOBAL>(const_cast<void*>(data));
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC info) {
  if (info == nullptr) {
    machine().lastError = ERROR_INVALID_HANDLE;
    return 0;
  }
  return static_cast<DWORD>(info->bytes.size());
}

LPVOID WINAPI LockResource(HGLOBAL data) {
  if (resourceState().failure == sim::ResourceFailure::lock) return nullptr;
  return reinterpret_cast<LPVOID>(data);
}

// Win32 keeps resources mapped with the image: FreeResource only counts here,
// and it answers FALSE as Windows and Wine do.
BOOL WINAPI FreeResource(HGLOBAL data) {
  auto found = resourceState().loaded.find(data);
  if (found != resourceState().loaded.end() && --found->second == 0) resourceState().loaded.erase(found);
  return FALSE;
}

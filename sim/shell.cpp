// The shell and COM of the simulated machine: the shell's allocator, the
// Programs folder as an item ID list, COM initialisation, and the shell link
// object with its IShellLinkA and IPersistFile interfaces. A saved link is a
// small text file that names its target and its other properties.
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <deque>
#include <map>
#include <set>
#include <sstream>

#include "sim/code_page.h"
#include "sim/faults.h"
#include "sim/machine.h"

using sim::machine;

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

const char kLinkSignature[] = "[sim shell link]";

HRESULT fromWin32(DWORD error) { return static_cast<HRESULT>(0x80070000u | (error & 0xFFFF)); }

bool sameGuid(const GUID& a, const GUID& b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }

struct ShellState {
  int comInitializations = 0;
  int liveLinks = 0;
  int allocatorReferences = 0;
  std::map<void*, SIZE_T> blocks;
  bool programsFolderSet = false;
  std::string programsFolder;
  HWND lastOwner = nullptr;
  bool comFails = false;
  std::deque<sim::FolderBrowseAnswer> browseAnswers;
  std::vector<sim::FolderBrowseRecord> browses;
};

ShellState& shellState() {
  static ShellState state;
  return state;
}

sim::ResetHook clearShellState([] {
  for (auto& block : shellState().blocks) free(block.first);
  shellState() = ShellState();
});

// The shell's task allocator: one object for the process, counted references.
class ShellAllocator : public IMalloc {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!sameGuid(riid, IID_IUnknown)) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IMalloc*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++shellState().allocatorReferences); }
  ULONG STDMETHODCALLTYPE Release() override {
    if (shellState().allocatorReferences > 0) --shellState().allocatorReferences;
    return static_cast<ULONG>(shellState().allocatorReferences);
  }
  void* STDMETHODCALLTYPE Alloc(SIZE_T size) override {
    void* block = malloc(size != 0 ? size : 1);
    if (block != nullptr) shellState().blocks[block] = size;
    return block;
  }
  void* STDMETHODCALLTYPE Realloc(void* block, SIZE_T size) override {
    if (block == nullptr) return Alloc(size);
    if (shellState().blocks.erase(block) == 0) return nullptr;
    void* moved = realloc(block, size != 0 ? size : 1);
    if (moved != nullptr) shellState().blocks[moved] = size;
    return moved;
  }
  void STDMETHODCALLTYPE Free(void* block) override {
    if (block != nullptr && shellState().blocks.erase(block) != 0) free(block);
  }
  SIZE_T STDMETHODCALLTYPE GetSize(void* block) override {
    auto found = shellState().blocks.find(block);
    return found == shellState().blocks.end() ? static_cast<SIZE_T>(-1) : found->second;
  }
  int STDMETHODCALLTYPE DidAlloc(void* block) override { return shellState().blocks.count(block) != 0 ? 1 : 0; }
  void STDMETHODCALLTYPE HeapMinimize() override {}
};

ShellAllocator theAllocator;

std::string defaultProgramsFolder() {
  if (sim::windowsFamily() == sim::WindowsFamily::NT) {
    return sim::windowsFolder().substr(0, 2) + "\\Documents and Settings\\User\\Start Menu\\Programs";
  }
  return sim::windowsFolder() + "\\Start Menu\\Programs";
}

// Makes every missing level of a Windows folder; false when it names no drive.
bool makeFolders(const std::string& windowsPath) {
  if (sim::hostPath(windowsPath.substr(0, 3)).empty()) return false;
  for (size_t end = 3; end <= windowsPath.size(); ++end) {
    if (end < windowsPath.size() && windowsPath[end] != '\\') continue;
    mkdir(sim::hostPath(windowsPath.substr(0, end)).c_str(), 0777);
  }
  return sim::folderExists(windowsPath);
}

// Text properties of a link file, one "Name=value" line each.
std::string linkText(const sim::Shortcut& link) {
  std::ostringstream text;
  text << kLinkSignature << "\n"
       << "Target=" << link.target << "\n"
       << "Arguments=" << link.arguments << "\n"
       << "WorkingFolder=" << link.workingFolder << "\n"
       << "Description=" << link.description << "\n"
       << "IconPath=" << link.iconPath << "\n"
       << "IconIndex=" << link.iconIndex << "\n"
       << "Hotkey=" << link.hotkey << "\n"
       << "ShowCommand=" << link.showCommand << "\n";
  return text.str();
}

bool parseLink(const std::string& host, sim::Shortcut* link) {
  std::ifstream in(host, std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || line != kLinkSignature) return false;
  *link = sim::Shortcut{"", "", "", "", "", 0, 0, 1};
  while (std::getline(in, line)) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) return false;
    std::string name = line.substr(0, equals), value = line.substr(equals + 1);
    if (name == "Target") link->target = value;
    else if (name == "Arguments") link->arguments = value;
    else if (name == "WorkingFolder") link->workingFolder = value;
    else if (name == "Description") link->description = value;
    else if (name == "IconPath") link->iconPath = value;
    else if (name == "IconIndex") link->iconIndex = atoi(value.c_str());
    else if (name == "Hotkey") link->hotkey = atoi(value.c_str());
    else if (name == "ShowCommand") link->showCommand = atoi(value.c_str());
  }
  return true;
}

// Copies a property out as the shell does: cut to the buffer, always ended.
HRESULT copyOut(const std::string& text, LPSTR buffer, int size) {
  if (buffer == nullptr || size <= 0) return E_INVALIDARG;
  snprintf(buffer, static_cast<size_t>(size), "%s", text.c_str());
  return S_OK;
}

HRESULT setText(std::string* property, LPCSTR text, bool* dirty) {
  if (text == nullptr) return E_INVALIDARG;
  *property = text;
  *dirty = true;
  return S_OK;
}

// The shell link object. Both interfaces share one reference count, as the
// object is one COM identity.
class ShellLink final : public IShellLinkA, public IPersistFile {
 public:
  ShellLink() { ++shellState().liveLinks; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (sameGuid(riid, IID_IUnknown) || sameGuid(riid, IID_IShellLinkA)) {
      *object = static_cast<IShellLinkA*>(this);
    } else if (sameGuid(riid, IID_IPersistFile)) {
      *object = static_cast<IPersistFile*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) {
      --shellState().liveLinks;
      delete this;
    }
    return left;
  }

  // IShellLinkA
  HRESULT STDMETHODCALLTYPE GetPath(LPSTR file, int size, WIN32_FIND_DATAA* findData, DWORD) override {
    if (findData != nullptr) memset(findData, 0, sizeof *findData);
    HRESULT result = copyOut(link_.target, file, size);
    return SUCCEEDED(result) && link_.target.empty() ? S_FALSE : result;
  }
  HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDescription(LPSTR name, int size) override {
    return copyOut(link_.description, name, size);
  }
  HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR name) override {
    return setText(&link_.description, name, &dirty_);
  }
  HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR folder, int size) override {
    return copyOut(link_.workingFolder, folder, size);
  }
  HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR folder) override {
    return setText(&link_.workingFolder, folder, &dirty_);
  }
  HRESULT STDMETHODCALLTYPE GetArguments(LPSTR arguments, int size) override {
    return copyOut(link_.arguments, arguments, size);
  }
  HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR arguments) override {
    return setText(&link_.arguments, arguments, &dirty_);
  }
  HRESULT STDMETHODCALLTYPE GetHotkey(WORD* hotkey) override {
    if (hotkey == nullptr) return E_INVALIDARG;
    *hotkey = static_cast<WORD>(link_.hotkey);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) override {
    link_.hotkey = hotkey;
    dirty_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetShowCmd(int* showCommand) override {
    if (showCommand == nullptr) return E_INVALIDARG;
    *showCommand = link_.showCommand;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetShowCmd(int showCommand) override {
    link_.showCommand = showCommand;
    dirty_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR iconPath, int size, int* icon) override {
    if (icon == nullptr) return E_INVALIDARG;
    *icon = link_.iconIndex;
    return copyOut(link_.iconPath, iconPath, size);
  }
  HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR iconPath, int icon) override {
    link_.iconIndex = icon;
    return setText(&link_.iconPath, iconPath, &dirty_);
  }
  HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return E_NOTIMPL; }
  // A target that does not exist is taken, with S_FALSE, as the shell does.
  HRESULT STDMETHODCALLTYPE SetPath(LPCSTR file) override {
    if (file == nullptr) return E_INVALIDARG;
    link_.target = file;
    dirty_ = true;
    struct stat info;
    std::string host = sim::hostPath(file);
    return !host.empty() && stat(host.c_str(), &info) == 0 ? S_OK : S_FALSE;
  }

  // IPersistFile
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override {
    if (classId == nullptr) return E_POINTER;
    *classId = CLSID_ShellLink;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, DWORD) override {
    std::string path;
    if (fileName == nullptr || !sim::ansiFromWide(fileName, &path)) return E_INVALIDARG;
    std::string host = sim::hostPath(path);
    struct stat info;
    if (host.empty() || stat(host.c_str(), &info) != 0) return fromWin32(ERROR_FILE_NOT_FOUND);
    if (!parseLink(host, &link_)) return E_FAIL;
    dirty_ = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Save(LPCOLESTR fileName, BOOL) override {
    std::string path;
    if (fileName == nullptr || !sim::ansiFromWide(fileName, &path)) return E_INVALIDARG;
    if (path.size() >= MAX_PATH) return fromWin32(ERROR_FILENAME_EXCED_RANGE);
    std::string host = sim::hostPath(path);
    size_t slash = host.rfind('/');
    struct stat info;
    if (host.empty() || slash == std::string::npos || stat(host.substr(0, slash).c_str(), &info) != 0)
      return fromWin32(ERROR_PATH_NOT_FOUND);
    if (stat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return fromWin32(ERROR_ACCESS_DENIED);
    if (sim::isLocked(path)) return fromWin32(ERROR_SHARING_VIOLATION);
    if (sim::faultStrikes(sim::Fault::shellLinkSave, path)) return fromWin32(ERROR_ACCESS_DENIED);
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out << linkText(link_);
    if (!out) return fromWin32(ERROR_ACCESS_DENIED);
    dirty_ = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }

 private:
  ~ShellLink() = default;

  ULONG references_ = 1;
  bool dirty_ = false;
  sim::Shortcut link_{"", "", "", "", "", 0, 0, 1};
};

}  // namespace

namespace sim {

void setProgramsFolder(const std::string& windowsPath) {
  shellState().programsFolderSet = true;
  shellState().programsFolder = windowsPath;
}

std::string programsFolder() {
  return shellState().programsFolderSet ? shellState().programsFolder : defaultProgramsFolder();
}

bool readShortcut(const std::string& windowsPath, Shortcut* shortcut) {
  std::string host = hostPath(windowsPath);
  return !host.empty() && parseLink(host, shortcut);
}

bool comInitialized() { return shellState().comInitializations > 0; }
int liveShellLinks() { return shellState().liveLinks; }
int shellAllocatorReferences() { return shellState().allocatorReferences; }
int liveShellBlocks() { return static_cast<int>(shellState().blocks.size()); }
HWND lastShellOwner() { return shellState().lastOwner; }

}  // namespace sim

HRESULT WINAPI CoInitialize(LPVOID) {
  if (shellState().comFails) return E_OUTOFMEMORY;
  return shellState().comInitializations++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize(void) {
  if (shellState().comInitializations > 0) --shellState().comInitializations;
}

HRESULT WINAPI CoCreateInstance(REFCLSID classId, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (shellState().comInitializations == 0) return CO_E_NOTINITIALIZED;
  if (!sameGuid(classId, CLSID_ShellLink) || !(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  ShellLink* link = new ShellLink();
  HRESULT result = link->QueryInterface(riid, object);
  static_cast<IShellLinkA*>(link)->Release();  // the creation's own reference
  return result;
}

HRESULT WINAPI SHGetMalloc(LPMALLOC* allocator) {
  if (allocator == nullptr) return E_INVALIDARG;
  theAllocator.AddRef();
  *allocator = &theAllocator;
  return S_OK;
}

namespace {

// An item ID list of one item, the folder's path (or, for a folder outside
// the file system, "::" and its name), and the empty item that ends every
// list. It comes from the shell's allocator.
PIDLIST_ABSOLUTE makeItemList(const std::string& text) {
  size_t itemSize = sizeof(USHORT) + text.size() + 1;
  BYTE* block = static_cast<BYTE*>(theAllocator.Alloc(itemSize + sizeof(USHORT)));
  if (block == nullptr) return nullptr;
  USHORT size = static_cast<USHORT>(itemSize);
  memcpy(block, &size, sizeof size);
  memcpy(block + sizeof(USHORT), text.c_str(), text.size() + 1);
  memset(block + itemSize, 0, sizeof(USHORT));
  return reinterpret_cast<PIDLIST_ABSOLUTE>(block);
}

const char kVirtualFolderMark[] = "::";

// What the shell shows for a folder: its last level, or for a drive root the
// drive in brackets.
std::string displayNameOf(const std::string& path) {
  if (path.size() <= 3) return "(" + path.substr(0, 2) + ")";
  size_t end = path.find_last_not_of("\\/");
  size_t start = path.find_last_of("\\/", end);
  return path.substr(start + 1, end - start);
}

}  // namespace

namespace sim {

void answerNextFolderBrowse(const std::string& windowsPath) {
  shellState().browseAnswers.push_back(FolderBrowseAnswer{false, windowsPath, ""});
}

void answerNextFolderBrowseOutsideFileSystem(const std::string& displayName) {
  shellState().browseAnswers.push_back(FolderBrowseAnswer{false, "", displayName});
}

void setComInitializationFails(bool fails) { shellState().comFails = fails; }

void cancelNextFolderBrowse() { shellState().browseAnswers.push_back(FolderBrowseAnswer{true, "", ""}); }

const std::vector<FolderBrowseRecord>& folderBrowses() { return shellState().browses; }

}  // namespace sim

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderA(LPBROWSEINFOA info) {
  sim::FolderBrowseRecord seen{info->hwndOwner, info->lpszTitle != nullptr ? info->lpszTitle : "", info->ulFlags,
                               info->pidlRoot == nullptr,
                               info->pszDisplayName != nullptr ? info->pszDisplayName : "", info->lpfn != nullptr};
  shellState().browses.push_back(seen);
  if (shellState().browseAnswers.empty()) {
    sim::writeToStderr("[sim] a folder browser opened that the test did not expect\n");
    ++machine().unexpectedMessageBoxes;
    return nullptr;
  }
  sim::FolderBrowseAnswer answer = shellState().browseAnswers.front();
  shellState().browseAnswers.pop_front();
  if (answer.cancelled) return nullptr;
  bool inFileSystem = answer.displayName.empty();
  std::string displayName = inFileSystem ? displayNameOf(answer.path) : answer.displayName;
  if (info->pszDisplayName != nullptr) snprintf(info->pszDisplayName, MAX_PATH, "%s", displayName.c_str());
  return makeItemList(inFileSystem ? answer.path : kVirtualFolderMark + answer.displayName);
}

HRESULT WINAPI SHGetSpecialFolderLocation(HWND owner, int folder, PIDLIST_ABSOLUTE* idList) {
  shellState().lastOwner = owner;
  if (idList == nullptr) return E_INVALIDARG;
  *idList = nullptr;
  if (folder != CSIDL_PROGRAMS) return E_INVALIDARG;
  std::string path = sim::programsFolder();
  if (path.empty() || !makeFolders(path)) return E_FAIL;
  *idList = makeItemList(path);
  return *idList != nullptr ? S_OK : E_OUTOFMEMORY;
}

BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE idList, LPSTR path) {
  void* block = const_cast<ITEMIDLIST*>(idList);
  if (idList == nullptr || path == nullptr || shellState().blocks.count(block) == 0) return FALSE;
  const char* text = reinterpret_cast<const char*>(idList) + sizeof(USHORT);
  if (strlen(text) >= MAX_PATH || strncmp(text, kVirtualFolderMark, 2) == 0) return FALSE;
  strcpy(path, text);
  return TRUE;
}

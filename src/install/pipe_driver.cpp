#include "install/pipe_driver.h"

#include <cstdio>
#include <cstring>

#include "base/paths.h"
#include "install/registry.h"
#include "base/registry_key.h"
#include "install/replace_on_restart.h"
#include "extract/uninstall_list.h"
#include "payload/checksum.h"
#include "payload/component_table.h"
#include "extract/extraction.h"
#include "platform/win32.h"
#include "base/context.h"
#include "base/fatal.h"
#include "base/windows_version.h"

const char kPipeDriverValue[] = "VelkPipe";
const char kSharedDllsKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kDrivers32KeyPath[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const char kDriversDescKeyPath[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";
const int kMidiSlots = 100;  // "midi", then midi1 to midi99
const char kSystemIni[] = "system.ini";
const char kSystemIniSection[] = "drivers";
const char kSystemIniKey[] = "MIDIVelkModular";

namespace {

// The driver of each family, as the extraction leaves it in the target
// folder, and the names it may take in the system folder: its own first, then
// numbered ones from 00 to 99.
struct DriverNames {
  const char* sourceName;
  const char* firstName;
  const char* numberedPattern;
};
const DriverNames kDriverNames9x = {"_velkp16.drv", "velkpipe.drv", "velkpi%02d.drv"};
const DriverNames kDriverNamesNT = {"_velkp32.dll", "velkpipe.dll", "velkpi%02d.dll"};
const int kNumberedNames = 100;

const char kDriverMarker[] = "Velk Modular MIDI pipe driver";
const size_t kDriverMarkerLength = sizeof kDriverMarker - 1;  // matched without its terminator

const char kDriverDescription[] = "Velk Modular";

// Driver file names are short; these hold any of them with room to spare.
const size_t kNameBufferSize = 32;

void copyPath(char* buffer, const char* path) {
  size_t length = strlen(path);
  ENSURE(length < kPathBufferSize);
  memcpy(buffer, path, length + 1);
}

bool joinedPath(const char* folder, const char* name, char* path) {
  copyPath(path, folder);
  return joinPath(path, name);
}

// Looks for a name nothing in the system folder has yet. On the way, the
// first taken name whose file holds the marker is noted as the earlier copy.
bool findFreeName(const char* systemFolder, const DriverNames& names, char* freeName, char* oldName,
                  bool* earlierCopy) {
  char candidate[kNameBufferSize];
  formatText(candidate, sizeof candidate, "%s", names.firstName);
  *earlierCopy = false;
  for (int i = 0;; ++i) {
    char path[kPathBufferSize];
    if (!joinedPath(systemFolder, candidate, path)) return false;
    if (!pathExists(path)) {
      memcpy(freeName, candidate, sizeof candidate);
      return true;
    }
    if (!*earlierCopy && hasDriverMarker(path)) {
      memcpy(oldName, candidate, sizeof candidate);
      *earlierCopy = true;
    }
    if (i == kNumberedNames) return false;
    formatText(candidate, sizeof candidate, names.numberedPattern, i);
  }
}

// The Drivers32 value to write: the first that is missing or already names
// this driver. A value of another type, another driver's or one too long to
// read belongs to someone else and is passed over.
bool findMidiSlot(RegistryKey& drivers32, const char* finalName, char* slotName) {
  for (int j = 0; j < kMidiSlots; ++j) {
    midiSlotName(j, slotName);
    char data[kPathBufferSize + 1];  // one more byte than is read, for a terminator the value may lack
    DWORD type = 0;
    DWORD size = kPathBufferSize;
    LONG result = drivers32.query(slotName, &type, data, &size);
    if (result == ERROR_FILE_NOT_FOUND) return true;
    if (result == ERROR_SUCCESS && type == REG_SZ) {
      data[size] = '\0';
      if (pathsEqualIgnoringCase(data, finalName)) return true;
    }
  }
  return false;
}

bool registerOnNT(const char* finalName) {
  {
    RegistryKey drivers32;
    if (!drivers32.create(HKEY_LOCAL_MACHINE, kDrivers32KeyPath)) return false;
    char slotName[kNameBufferSize];
    if (!findMidiSlot(drivers32, finalName, slotName)) return false;
    if (!drivers32.setText(slotName, finalName)) return false;
  }
  installOptions.restartNeeded = 1;
  RegistryKey descriptions;
  if (!descriptions.create(HKEY_LOCAL_MACHINE, kDriversDescKeyPath)) return false;
  return descriptions.setText(finalName, kDriverDescription);
}

bool registerOn9x(const char* finalName) {
  if (!WritePrivateProfileStringA(kSystemIniSection, kSystemIniKey, finalName, kSystemIni)) return false;
  installOptions.restartNeeded = 1;
  return true;
}

// Every program that installs a shared file adds one to its count, so that
// the last uninstaller to remove it is the one that deletes it.
bool countSharedFile(const char* path) {
  RegistryKey sharedDlls;
  if (!sharedDlls.create(HKEY_LOCAL_MACHINE, kSharedDllsKeyPath)) return false;
  uint32_t count = 0;
  DWORD type = 0;
  DWORD size = sizeof count;
  if (sharedDlls.query(path, &type, &count, &size) != ERROR_SUCCESS || type != REG_DWORD) count = 0;
  return sharedDlls.setNumber(path, count + 1);
}

}  // namespace

void midiSlotName(int slot, char* name) {
  ENSURE(slot >= 0 && slot < kMidiSlots);
  if (slot == 0) {
    strcpy(name, "midi");
  } else {
    formatText(name, 8, "midi%d", slot);
  }
}

// A byte that breaks a partial match may itself begin the marker, so it is
// compared again with the first letter. Nothing more is needed: that letter
// occurs nowhere else in the marker, so no other match can begin inside a
// partial one.
bool hasDriverMarker(const char* path) {
  FILE* file = openWindowsFile(path, "rb");
  if (file == nullptr) return false;
  size_t matched = 0;
  bool found = false;
  for (int ch = fgetc(file); ch != EOF; ch = fgetc(file)) {
    if (ch != static_cast<unsigned char>(kDriverMarker[matched])) matched = 0;
    if (ch == static_cast<unsigned char>(kDriverMarker[matched]) && ++matched == kDriverMarkerLength) {
      found = true;
      break;
    }
  }
  fclose(file);
  return found;
}

// Whether the file holds exactly the bytes the catalogue record vouches for:
// its CRC-32 as the extraction checks it.
bool holdsCataloguedBytes(const char* path, const CatalogueFile& record) {
  FILE* file = openWindowsFile(path, "rb");
  if (file == nullptr) return false;
  buildCrcTable();
  uint32_t state = kCrcInitialState;
  uint8_t block[4096];
  size_t got = 0;
  while ((got = fread(block, 1, sizeof block, file)) > 0) state = crcUpdateBlock(state, block, static_cast<int32_t>(got));
  bool read = ferror(file) == 0;
  fclose(file);
  return read && ~state == record.contentCrc;
}

// Writes the driver as the payload holds it to `destination`, a name nothing
// has yet: the entry is decoded again, into memory. The copy the extraction
// left in the target folder is never read: users without administrator
// rights may be able to write that folder (one at a drive's root, one
// proposed from a per-user value), and every program that plays MIDI loads
// this driver. The CRC check that follows is a check of the write.
bool writeDriverFromPayload(int32_t entryId, const char* name, const char* destination) {
  CatalogueFile record;
  int32_t offset = 0;
  if (!findCatalogueFile(entryId, name, &record, &offset)) return false;
  // CREATE_NEW: a file that took the name since it was found free stays.
  HANDLE created = CreateFileA(destination, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return false;
  CloseHandle(created);
  uint8_t* content = nullptr;
  bool written = extractEntry(entryId, &content) == kExtractDone && content != nullptr;
  FILE* file = written ? openWindowsFile(destination, "wb") : nullptr;
  written = file != nullptr && (record.size == 0 || fwrite(content + offset, static_cast<size_t>(record.size), 1, file) == 1);
  if (file != nullptr && fclose(file) != 0) written = false;
  freeBlock(content);
  FILETIME stored;
  stored.dwLowDateTime = static_cast<DWORD>(record.time);
  stored.dwHighDateTime = static_cast<DWORD>(record.time >> 32);
  if (!written || !holdsCataloguedBytes(destination, record) || !setFileTimes(destination, stored)) {
    DeleteFileA(destination);
    return false;
  }
  return true;
}

bool listsPipeDriverSource(const UninstallList& list, const char* folder) {
  const DriverNames& names = isWindowsNT() ? kDriverNamesNT : kDriverNames9x;
  char source[kPathBufferSize];
  if (!joinedPath(folder, names.sourceName, source)) return false;
  for (const PtrListNode<UninstallRecord>* node = list.records().head(); node != nullptr; node = node->next) {
    if (node->item->kind == kUninstallFile && pathsEqualIgnoringCase(node->item->path, source)) return true;
  }
  return false;
}

bool installPipeDriver(bool countedBefore) {
  bool nt = isWindowsNT();
  const DriverNames& names = nt ? kDriverNamesNT : kDriverNames9x;
  char systemFolder[kPathBufferSize];
  UINT length = GetSystemDirectoryA(systemFolder, kPathBufferSize);
  if (length == 0 || length >= kPathBufferSize) return false;

  char newName[kNameBufferSize];
  char oldName[kNameBufferSize];
  bool earlierCopy = false;
  if (!findFreeName(systemFolder, names, newName, oldName, &earlierCopy)) return false;

  char destination[kPathBufferSize];
  char source[kPathBufferSize];
  if (!joinedPath(systemFolder, newName, destination)) return false;
  if (!joinedPath(installOptions.targetFolder, names.sourceName, source)) return false;
  if (!writeDriverFromPayload(nt ? kPipeDriverEntryNt : kPipeDriverEntry9x, names.sourceName, destination))
    return false;
  // The driver lives on in the system folder only; its record in the
  // uninstall data stays and finds nothing to remove.
  DeleteFileA(source);

  // An earlier copy may be loaded by Windows: the new file takes its name at
  // the next start, and that is the name to register.
  const char* finalName = newName;
  if (earlierCopy) {
    if (!replaceOnRestart(systemFolder, newName, systemFolder, oldName)) return false;
    finalName = oldName;
    if (!joinedPath(systemFolder, oldName, destination)) return false;
  }

  {
    RegistryKey product;
    if (!product.create(HKEY_LOCAL_MACHINE, kProductKeyPath)) return false;
    if (!product.setText(kPipeDriverValue, finalName)) return false;
  }

  if (!(nt ? registerOnNT(finalName) : registerOn9x(finalName))) return false;
  return countedBefore || countSharedFile(destination);
}

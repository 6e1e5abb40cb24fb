// The uninstall list: every folder and file the installation creates, in the
// order they were created, and its data file _vmunins.dat, which the
// uninstaller reads later. The same list deletes everything again when the
// installation fails.
//
// _vmunins.dat, all integers 32-bit little-endian, no padding, no checksum:
//   magic 0x5749AAE0 (E0 AA 49 57), version 0, record count N (signed),
//   then N records oldest first: kind, path length L (1 to 259), L path bytes
//   without a terminator.
#ifndef VM_EXTRACT_UNINSTALL_LIST_H
#define VM_EXTRACT_UNINSTALL_LIST_H

#include <cstddef>
#include <cstdint>

#include "base/containers.h"

enum UninstallKind : int32_t {
  kUninstallFile = 0,
  kUninstallFolder = 1,
};

constexpr uint32_t kUninstallMagic = 0x5749AAE0;
constexpr int32_t kUninstallVersion = 0;
constexpr char kUninstallFileName[] = "_vmunins.dat";

// One created object. The record owns its path text.
struct UninstallRecord {
  int32_t kind;
  char* path;  // full path, drive letter first, 1 to 259 characters
  // 1 when this run made the file or folder (it was not there before): what
  // a roll-back deletes. Records taken over from an earlier data file, and
  // files that were there before (kept aside, see kept_files.h), have 0. Not
  // part of the data file.
  int32_t madeByThisRun;
};

class UninstallList {
 public:
  UninstallList() = default;
  UninstallList(const UninstallList&) = delete;
  UninstallList& operator=(const UninstallList&) = delete;
  ~UninstallList() { clear(); }

  // Appends a record with its own copy of `path`, unless a record of the same
  // kind already holds the same path (letters A to Z in either case); such a
  // record counts as made by this run from then on when `madeByThisRun` says
  // so. Fails, leaving the list unchanged, only when memory runs out.
  bool addRecord(const char* path, int32_t kind, bool madeByThisRun = true);

  // Replaces the list by the records of the data file at `filePath`. Records
  // whose path does not lie inside the data file's own folder are dropped:
  // an installation only ever records what it creates there, so anything
  // else comes from a planted or stale file that a roll-back must not be
  // allowed to act on. Any fault of the file leaves the list empty.
  bool loadFrom(const char* filePath);

  // Reads the data file for the uninstaller, keeping what can be trusted of
  // a damaged one. Fails, leaving the list empty, when the file cannot be
  // opened, its header is wrong or memory runs out. Otherwise: a record of an
  // unknown kind is passed over; a length out of range or a file that ends
  // early ends the reading, since nothing after it can be found again, and
  // the records before it stay. Records outside the data file's folder are
  // dropped as loadFrom drops them.
  bool loadForRemoval(const char* filePath);

  // Creates or truncates the data file and writes the list, oldest first.
  // A partly written file is left in place; the result says it failed.
  bool saveTo(const char* filePath) const;

  // Deletes what the records made by this run name, newest first, then
  // empties the list: what was there before the run stays. A file that is
  // gone or in use, or a folder that still holds something, stays, and so
  // does whatever lies behind a junction or link below `folder` (the link
  // itself may go). Fails only when a record has an unknown kind.
  bool rollBack(const char* folder);

  // Frees every record and empties the list.
  void clear();

  const PtrList<UninstallRecord>& records() const { return records_; }

 private:
  // Appends a record holding the first `length` bytes of `path`, without
  // looking for an equal one.
  bool appendRecord(const char* path, size_t length, int32_t kind, bool madeByThisRun);

  // loadFrom, or loadForRemoval when `salvage` is set.
  bool load(const char* filePath, bool salvage);

  // Makes room in the index for one more record; false when memory ran out.
  bool reserveIndexSlot();
  // The index slot of the first record of `kind` with `path` (either case of
  // A to Z), or the empty slot where such a record would go.
  int32_t indexSlotOf(const char* path, int32_t kind) const;

  PtrList<UninstallRecord> records_;
  // Every record by its kind and path, so that adding one stays as cheap
  // with thousands of records as with ten: open addressing, at most half
  // full, a power of two in size (null: none yet).
  UninstallRecord** index_ = nullptr;
  int32_t indexSize_ = 0;
  int32_t indexed_ = 0;
};

// The one list of the process: empty before the entry point runs, freed at
// exit.
extern UninstallList uninstallList;

#endif  // VM_EXTRACT_UNINSTALL_LIST_H

#include "uninstall/recorded_items.h"

#include "base/paths.h"

void removeRecordedItems(const UninstallList& records, const char* folder, RemovalTally& tally) {
  // All files go before any folder is tried: a data file taken over from an
  // earlier installation may list a folder after files that lie in it. Never
  // through a junction or link planted in the installation's folder: what
  // lies behind it is not the installation's. The link itself may go.
  for (PtrListNode<UninstallRecord>* node = records.records().tail(); node != nullptr; node = node->previous) {
    const UninstallRecord* record = node->item;
    if (record->kind == kUninstallFile && !passesReparsePoint(record->path, folder, false))
      removeFile(record->path, tally);
  }
  for (PtrListNode<UninstallRecord>* node = records.records().tail(); node != nullptr; node = node->previous) {
    const UninstallRecord* record = node->item;
    if (record->kind == kUninstallFolder && !passesReparsePoint(record->path, folder, false))
      removeFolder(record->path, tally);
  }
}

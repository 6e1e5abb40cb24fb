#include "uninstall/recorded_items.h"

void removeRecordedItems(const UninstallList& records, RemovalTally& tally) {
  // All files go before any folder is tried: a data file taken over from an
  // earlier installation may list a folder after files that lie in it.
  for (PtrListNode<UninstallRecord>* node = records.records().tail(); node != nullptr; node = node->previous) {
    if (node->item->kind == kUninstallFile) removeFile(node->item->path, tally);
  }
  for (PtrListNode<UninstallRecord>* node = records.records().tail(); node != nullptr; node = node->previous) {
    if (node->item->kind == kUninstallFolder) removeFolder(node->item->path, tally);
  }
}

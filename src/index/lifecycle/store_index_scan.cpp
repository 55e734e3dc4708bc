#include "common/file_management.h"
#include "frame/store_paths.h"
#include "index/messages/file_root_scan.h"
#include "index/messages/mail_folder_scan.h"
#include "index/locking/mutex_lock.h"
#include "index/file/reconcile_scans.h"
#include "index/file/serialiser_choice.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/file/store_index_serialiser.h"

namespace tw {

int32_t ScanRecord(STOREINDEXTYPE& record, int32_t reason) {
  const std::string path = record.folderPath;
  if (!path.empty() && !FileExists(path)) {
    try {
      CreateDirectoryTree(path);
    } catch (...) {
      return 0;
    }
  }
  if (record.folderType != kFolderTypeGroups) record.folderType = FolderTypeFromPath(record.folder);
  StoreIndexMutexLock lock(LockFieldsOf(record));
  SORTEDSTOREINDEXTYPE& index = IndexOf(record);
  index.folderPath = path;
  index.folderType = record.folderType;
  index.postoffice = record.postoffice;
  index.mailbox = record.mailbox;
  switch (record.folderType) {
    case kFolderTypeContacts:
      if (Reconcile().contacts != nullptr) Reconcile().contacts(index, path);
      return 1;
    case kFolderTypeCalendar:
      index.Empty();
      index.SetLoadLevel(kLevelFull);
      if (Reconcile().calendar != nullptr) Reconcile().calendar(index, path);
      return 1;
    case kFolderTypeTasks:
      return 1;
    case kFolderTypeFileRoot:
      return ScanFileRoot(index, path, reason == kScanBlockHeld);
    default:
      return ScanMailFolder(index, path, reason, false);
  }
}

int32_t GetRecord(STOREINDEXTYPE& record) {
  SORTEDSTOREINDEXTYPE& index = IndexOf(record);
  switch (record.folderType) {
    case kFolderTypeContacts:
    case kFolderTypeCalendar:
    case kFolderTypeTasks: {
      index.folderPath = record.folderPath;
      index.folderType = record.folderType;
      index.loadOptions = IndexLoadOptions{record.folderType != kFolderTypeContacts, false, 0, false, false, true};
      if (!index.loadOptions.useLoaded) index.SetLoadLevel(0);
      index.EnsureLoaded(kLevelFull);
      return 1;
    }
    default:
      OpenRecord(record, 5);
      return 1;
  }
}

}  // namespace tw

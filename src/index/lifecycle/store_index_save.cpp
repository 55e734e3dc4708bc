#include <cstdio>
#include <cstring>

#include "common/file_management.h"
#include "frame/event_report.h"
#include "frame/store_paths.h"
#include "index/cache/loaded_index_store.h"
#include "index/messages/folder_cache_files.h"
#include "index/locking/index_file_blocking.h"
#include "index/file/index_save.h"
#include "index/locking/mutex_lock.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/file/store_index_serialiser.h"
#include "platform/files.h"

namespace tw {
namespace {

std::string Formatted(const char* format, const std::string& path) {
  char text[1200];
  std::snprintf(text, sizeof text, format, path.c_str());
  return text;
}

void EnsureDirectory(const std::string& path) {
  if (FileExists(path)) return;
  try {
    CreateDirectoryTree(path);
  } catch (...) {
    // the save then fails on its own and marks the folder dirty
  }
}

// Under the block after a save: the file gets a stamp that any later write
// changes, and the index remembers it, so that the index can be kept once
// the record lets go of it unchanged.
void StampSavedIndex(STOREINDEXTYPE& record) {
  SORTEDSTOREINDEXTYPE& index = IndexOf(record);
  index.savedStamp.reset();
  if (LoadedIndexStore::Process().Capacity() == 0) return;
  const std::string indexFile = IndexFilePath(record);
  platform::FileStamp stamp;
  if (!platform::StampFileWrittenNow(indexFile, stamp)) return;
  RememberIndexFile(index, indexFile);
  index.savedStamp = stamp;
}

bool FullyInMemory(SORTEDSTOREINDEXTYPE& index) { return index.LoadLevel() >= 3 && index.keyFilter.empty(); }

}  // namespace

int32_t SaveRecord(STOREINDEXTYPE& record) {
  StoreIndexMutexLock lock(LockFieldsOf(record));
  SORTEDSTOREINDEXTYPE& index = IndexOf(record);
  if (index.LoadLevel() <= 0) return 1;
  const std::string path = record.folderPath;
  if (path.empty()) {
    record.changed = 0;
    return 1;
  }
  EnsureDirectory(path);
  const std::string block = BlockFilePath(record);
  uintptr_t handle = 0;
  if (WaitForAccessToIndexFileEx(block, kHeldBlock, &handle) == 0) {
    Trace(1, Formatted("StoreIndex_Save::Error - Unable to lock index for folder %s\n", path));
    Trace(1, Formatted("StoreIndex_Save::Error - Unable to save index for folder %s\n", path));
    WriteChangeFlagIn(path);
    return 0;
  }
  platform::FileInfo info;
  const bool modified =
      platform::GetFileInfo(IndexFilePath(record), info) && info.lastWriteTime != index.indexFileTime;
  if (modified)
    Trace(1, Formatted("StoreIndex_Save::Warning: Store Index was modified while being transacted for folder: %s\n",
                       path));
  const bool saved = SaveIndexBlockHeld(index, path, record.folderType);
  if (modified) WriteChangeFlagIn(path);
  if (saved) {
    record.changed = 0;
    StampSavedIndex(record);
    if (record.folderType == kFolderTypeMail) {
      // Only a complete index can be counted, and counting costs a walk of
      // the items: done only for a folder that has no counters yet.
      const bool counted = FullyInMemory(index) && !FileExists(InFolder(path, kFolderDatFile));
      const FolderDetails details = counted ? index.GetFolderDetails() : FolderDetails{};
      RaiseFolderDatLastUid(path, index.LastUid(), counted ? &details : nullptr);
    }
  } else {
    Trace(1, Formatted("StoreIndex_Save::Error - Unable to save index for folder %s\n", path));
    WriteChangeFlagIn(path);
  }
  UnBlockIndexFileAccessEx(block, kHeldBlock, &handle);
  return saved ? 1 : 0;
}

int32_t CommitRecord(STOREINDEXTYPE& record) {
  if (record.changed != 1) return 2;
  if (record.folderPath[0] == '\0') {
    Print("WARNING!: StoreIndex Folder has not been set. Commit is ignored\n");
    return 0;
  }
  if (!HasLock(record)) {
    Log(Formatted("StoreIndex_Commit:: WARNING: StoreIndex->hMutex for %s was not constructed, but the folder has "
                  "been marked as changed.\n",
                  record.folderPath));
    return 0;
  }
  StoreIndexMutexLock lock(LockFieldsOf(record));
  if (lock.State() != kLockAcquired && lock.State() != kLockAbandoned) {
    char text[1300];
    std::snprintf(text, sizeof text, "StoreIndex_Commit:: Could not lock mutex for %s. Reason: %ld\n",
                  record.folderPath, static_cast<long>(lock.State()));
    Log(text);
    ReportStoreEvent(kEventTypeInformation, "Tarnwick", nullptr, kStoreEventId, text);
    return 0;
  }
  const int32_t result = SaveRecord(record);
  SORTEDSTOREINDEXTYPE& index = IndexOf(record);
  if (FullyInMemory(index)) {
    const FolderDetails details = index.GetFolderDetails();
    std::memcpy(record.folderDetails, details.counters, sizeof record.folderDetails);
    SetCachedStatus(record.postoffice, record.mailbox, record.folder, details);
  }
  Trace(1, Formatted("StoreIndex_Commit::Committed Index for folder %s\n", record.folderPath));
  return result;
}

}  // namespace tw

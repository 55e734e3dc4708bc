#include "index/lifecycle/store_index_record.h"

#include <cstring>

#include "common/file_management.h"
#include "common/text.h"
#include "frame/store_paths.h"
#include "index/file/store_index_serialiser.h"

namespace tw {
namespace {

static_assert(sizeof(StoreIndexLockFields) == 16 && offsetof(StoreIndexLockFields, ownerThread) == 8,
              "the record's lock fields are read as StoreIndexLockFields");
static_assert(offsetof(STOREINDEXTYPE, lockOwner) - offsetof(STOREINDEXTYPE, recordLock) == 8,
              "record lock and owner sit together");

bool Initialised(const STOREINDEXTYPE& record) { return record.initialised == kRecordInitialised; }

// What the record's pointers refer to; the pointers themselves are only
// trusted once the record has been initialised.
void FreeOwned(STOREINDEXTYPE& record) {
  if (!Initialised(record)) return;
  delete static_cast<IndexItem*>(record.currentItem);
  delete static_cast<SORTEDSTOREINDEXTYPE*>(record.index);
  delete static_cast<platform::RecursiveMutex*>(record.recordLock);
  record.currentItem = nullptr;
  record.index = nullptr;
  record.recordLock = nullptr;
}

}  // namespace

void InitRecord(STOREINDEXTYPE& record) {
  FreeOwned(record);
  std::memset(&record, 0, sizeof record);
  record.initialised = kRecordInitialised;
  record.recordLock = new platform::RecursiveMutex();
}

void ReleaseRecord(STOREINDEXTYPE& record) {
  if (Initialised(record)) {
    // The objects go with the record's contents; they are made again on
    // first need, so a released record can be filled and opened again.
    delete static_cast<IndexItem*>(record.currentItem);
    record.currentItem = nullptr;
    delete static_cast<SORTEDSTOREINDEXTYPE*>(record.index);
    record.index = nullptr;
    delete static_cast<platform::RecursiveMutex*>(record.recordLock);
    record.recordLock = nullptr;
  }
  record.spare = 0;
  record.reserved[0] = '\0';
  record.indexFileSize = 0;
  record.lockOwner = 0;
}

SORTEDSTOREINDEXTYPE& IndexOf(STOREINDEXTYPE& record) {
  if (!Initialised(record)) {
    std::memset(&record.index, 0, sizeof record.index);
    record.currentItem = nullptr;
    record.recordLock = nullptr;
    record.initialised = kRecordInitialised;
  }
  if (record.index == nullptr) {
    auto* index = new SORTEDSTOREINDEXTYPE();
    index->ownerRecord = &record;
    record.index = index;
  }
  return *static_cast<SORTEDSTOREINDEXTYPE*>(record.index);
}

IndexItem& CurrentItemOf(STOREINDEXTYPE& record) {
  IndexOf(record);
  if (record.currentItem == nullptr) record.currentItem = new IndexItem();
  return *static_cast<IndexItem*>(record.currentItem);
}

void AdoptIndex(STOREINDEXTYPE& record, std::unique_ptr<SORTEDSTOREINDEXTYPE> index) {
  IndexOf(record);
  delete static_cast<SORTEDSTOREINDEXTYPE*>(record.index);
  index->ownerRecord = &record;
  record.index = index.release();
}

std::unique_ptr<SORTEDSTOREINDEXTYPE> TakeIndex(STOREINDEXTYPE& record) {
  std::unique_ptr<SORTEDSTOREINDEXTYPE> index(&IndexOf(record));
  index->ownerRecord = nullptr;
  record.index = nullptr;
  return index;
}

StoreIndexLockFields* LockFieldsOf(STOREINDEXTYPE& record) {
  // The lock is taken before the index is looked at: an initialised
  // record's index may be swapped by the thread that holds the lock.
  if (!Initialised(record)) IndexOf(record);
  return reinterpret_cast<StoreIndexLockFields*>(&record.recordLock);
}

bool HasLock(const STOREINDEXTYPE& record) { return Initialised(record) && record.recordLock != nullptr; }

void SetRecordText(char (&field)[1024], const std::string& text) { CopyText(field, sizeof field, text); }

std::string IndexFilePath(const STOREINDEXTYPE& record) {
  return InFolder(record.folderPath, IndexFileName(record.folderType));
}

std::string BlockFilePath(const STOREINDEXTYPE& record) {
  return InFolder(record.folderPath, record.folderType == kFolderTypeGroups ? "_groups.blk" : "_index.blk");
}

void SetRecordPaths(STOREINDEXTYPE& record) {
  if (record.folderType != kFolderTypeGroups) record.folderType = FolderTypeFromPath(record.folder);
  if (record.folderPath[0] != '\0') return;
  const std::string path = FolderDirectoryForIndex(record.postoffice, record.mailbox, record.folder);
  if (path.empty()) return;
  if (!FileExists(path)) {
    try {
      CreateDirectoryTree(path);
    } catch (...) {
      return;  // the open then finds no directory and fails
    }
  }
  SetRecordText(record.folderPath, path);
}

}  // namespace tw

// The caller-allocated record of one open folder index and the objects the
// library keeps behind its pointers: the in-memory index, the current item
// and the record lock. A record is usable after StoreIndex_Init; the objects
// are made on first need, so a record released and filled again works too.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "index/items/index_item.h"
#include "index/locking/mutex_lock.h"
#include "index/items/sorted_store_index.h"
#include "twstore.h"

namespace tw {

inline constexpr uint32_t kRecordInitialised = 0x54574958;  // "TWIX"
inline constexpr const char* kStoreIndexSource = "..\\SERVICES\\Library\\LIBStoreIndex";

// Clears every field and makes the index, the current item and the lock.
void InitRecord(STOREINDEXTYPE& record);
// Empties the index, frees what the record owns and clears the lock.
void ReleaseRecord(STOREINDEXTYPE& record);

SORTEDSTOREINDEXTYPE& IndexOf(STOREINDEXTYPE& record);
IndexItem& CurrentItemOf(STOREINDEXTYPE& record);
// Gives the record this index in place of its own, or takes the record's
// index away (the record makes a new one on next need). For a record whose
// current item is not in use.
void AdoptIndex(STOREINDEXTYPE& record, std::unique_ptr<SORTEDSTOREINDEXTYPE> index);
std::unique_ptr<SORTEDSTOREINDEXTYPE> TakeIndex(STOREINDEXTYPE& record);
// The record lock's fields, as StoreIndexMutexLock uses them.
StoreIndexLockFields* LockFieldsOf(STOREINDEXTYPE& record);
bool HasLock(const STOREINDEXTYPE& record);

// Bounded copy into one of the record's 1024-byte texts.
void SetRecordText(char (&field)[1024], const std::string& text);

// The file names of the folder's index and block ("_groups..." for type 54).
std::string IndexFilePath(const STOREINDEXTYPE& record);
std::string BlockFilePath(const STOREINDEXTYPE& record);

// Fills the folder path (and makes missing directories) when it is empty;
// sets the folder type from the folder name unless it is 54.
void SetRecordPaths(STOREINDEXTYPE& record);

}  // namespace tw

// IndexCache: the process's open folder indexes, so that repeated opens of
// a folder share one loaded index. A record is made by the cache, lives
// while a thread holds it, and its index goes to the process's store of
// loaded indexes when the last holder lets go unchanged after a save.
//
// Holds are counted per thread: each holding thread has its own count of
// nested opens, and the record's open count is their sum. A close only
// lowers the calling thread's own count, so a record is destroyed only when
// no thread holds it any more, and no thread can ever reach a record that
// another thread's close destroyed.
//
// Locks, always in this order: IndexCacheLock (the map and the holds),
// IndexOpenLock (identity, paths, loading, destruction), the record lock
// (items, current items and cursors of every holder), the folder's block.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "frame/thread_state.h"
#include "twstore.h"

namespace tw {

struct ThreadItems;
class IndexItemPropertyContainer;

struct CachedRecord {
  std::string key;
  STOREINDEXTYPE record{};
  // Made by opening one item: an empty index that is never saved as the
  // folder's index (it would replace the folder's items with one).
  bool itemRecord = false;
  // Nested opens of each holding thread; changed under both the cache lock
  // and the record lock, so either lock makes it safe to read.
  std::map<ThreadItems*, uint32_t> holds;
  // Items changed through the item calls since the last save, to be
  // written back before it (an item may appear more than once).
  std::vector<IndexItemPropertyContainer*> written;
  // Readers share the record, changes hold it alone (record_access.h).
  std::mutex changers;
  std::atomic<bool> changing{false};
};

inline constexpr uint32_t kCacheCreated = 1;
inline constexpr uint32_t kCacheFound = 2;

// The keys of a folder and of one item, with the thread's number when
// thread affinity is on.
std::string FolderCacheKey(const TLSStoreIndex& state, std::string_view postoffice, std::string_view mailbox,
                           std::string_view folder);
std::string ItemCacheKey(const TLSStoreIndex& state, std::string_view postoffice, std::string_view mailbox,
                         std::string_view folder, std::string_view id);

// Gives the thread the record of its cache key, made when missing:
// kCacheCreated or kCacheFound; 0 when there is no memory. Without the
// cache lock (it cannot be made) 1, and the thread is left as it was.
uint32_t CacheAcquire(TLSStoreIndex& state, ThreadItems& items, bool itemRecord);
// Lowers the thread's count by one (with `reset`, to 0); at 0 the thread
// lets go, and the record is destroyed when no other thread holds it.
// `reset` also forgets the thread's folder names and key, as does letting
// go.
void CacheRelease(TLSStoreIndex& state, ThreadItems& items, bool reset);
// Lets go of the thread's record whatever its count.
void DropAllHolds(ThreadItems& items);
// One more nested open of the record the thread holds.
void RaiseOpenCount(ThreadItems& items);

// Runs `fn` for each other holder of the record; the caller holds the
// record lock.
void ForEachOtherHolder(CachedRecord& entry, const ThreadItems& self, const std::function<void(ThreadItems&)>& fn);

// Runs `fn` on every cached record in key order under the cache lock; false
// when the lock cannot be made.
bool ForEachCachedRecord(const std::function<void(CachedRecord&)>& fn);
size_t CachedRecordCount();

}  // namespace tw

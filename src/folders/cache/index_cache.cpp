#include "folders/cache/index_cache.h"

#include "folders/cache/record_access.h"

#include <algorithm>
#include <memory>
#include <new>

#include "common/text.h"
#include "folders/items/thread_items.h"
#include "frame/library_lifecycle.h"
#include "frame/seams.h"
#include "frame/thread_state.h"
#include "index/cache/loaded_index_store.h"
#include "index/lifecycle/store_index_record.h"
#include "index/locking/mutex_lock.h"
#include "platform/mutex.h"

namespace tw {
namespace {

constexpr size_t kKeyCapacity = 1024;
constexpr int32_t kLevelFull = 3;

// Never destroyed: threads may still release at process exit.
auto& g_cache = *new std::map<std::string, std::unique_ptr<CachedRecord>, std::less<>>();

// The thread's number: the low 32 bits of the address of its state.
long ThreadNumber(const TLSStoreIndex& state) {
  return static_cast<long>(static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&state))));
}

std::string Bounded(std::string_view text) { return std::string(text.substr(0, kKeyCapacity)); }

// The record's index goes to the process's store when it is exactly what
// this process last saved (so a later write by anyone shows in its stamp);
// then the record is released.
void LetGo(CachedRecord& entry) {
  STOREINDEXTYPE& record = entry.record;
  if (!entry.itemRecord && record.changed == 0 && record.index != nullptr) {
    SORTEDSTOREINDEXTYPE& index = IndexOf(record);
    if (index.savedStamp && index.LoadLevel() >= kLevelFull && index.keyFilter.empty()) {
      const platform::FileStamp stamp = *index.savedStamp;
      index.FreeSavedRemovals();
      LoadedIndexStore::Process().Keep(IndexFilePath(record), TakeIndex(record), stamp);
    }
  }
  ReleaseRecord(record);
  record.folderPath[0] = '\0';
}

void Forget(TLSStoreIndex& state, ThreadItems& items) {
  ClearCurrentItem(items);
  items.entry = nullptr;
  state.openIndex = nullptr;
}

void ResetNames(TLSStoreIndex& state, ThreadItems& items) {
  state.postoffice.clear();
  state.mailbox.clear();
  state.folder.clear();
  state.cacheKey.clear();
  state.openIndex = nullptr;
  ClearItemLocation(items);
}

// Under the cache lock: lowers the thread's count by `count` (all of it when
// larger); true when the thread let go.
bool LowerHold(ThreadItems& items, uint32_t count) {
  CachedRecord& entry = *items.entry;
  MutexLock opening(IndexOpenLock(), platform::kInfinite);
  {
    RecordChanging changing(entry);
    ClearCurrentItem(items);
    auto hold = entry.holds.find(&items);
    const uint32_t held = hold != entry.holds.end() ? hold->second : 0;
    const uint32_t lowered = std::min(count, held);
    entry.record.openCount -= std::min(lowered, entry.record.openCount);
    if (held > lowered) {
      hold->second = held - lowered;
      return false;
    }
    if (hold != entry.holds.end()) entry.holds.erase(hold);
    items.entry = nullptr;
    if (!entry.holds.empty()) return true;
  }
  // Nobody else can reach the record now: its holders are gone and the
  // cache lock keeps new ones out.
  const std::string key = entry.key;
  LetGo(entry);
  g_cache.erase(key);
  return true;
}

}  // namespace

std::string FolderCacheKey(const TLSStoreIndex& state, std::string_view postoffice, std::string_view mailbox,
                           std::string_view folder) {
  std::string key = "[" + Bounded(postoffice) + "][" + Bounded(mailbox) + "][" + Bounded(folder) + "]";
  if (ThreadAffinity()) key += "[" + std::to_string(ThreadNumber(state)) + "]";
  return key.substr(0, kKeyCapacity - 1);
}

std::string ItemCacheKey(const TLSStoreIndex& state, std::string_view postoffice, std::string_view mailbox,
                         std::string_view folder, std::string_view id) {
  std::string key =
      "[" + Bounded(postoffice) + "][" + Bounded(mailbox) + "][" + Bounded(folder) + "][" + Bounded(id) + "]";
  if (ThreadAffinity()) key += "[" + std::to_string(ThreadNumber(state)) + "]";
  return key.substr(0, kKeyCapacity - 1);
}

uint32_t CacheAcquire(TLSStoreIndex& state, ThreadItems& items, bool itemRecord) {
  platform::RecursiveMutex* cacheLock = EnsureIndexCacheLock();
  if (cacheLock == nullptr) return 1;
  MutexLock guard(cacheLock, platform::kInfinite);
  auto found = g_cache.find(state.cacheKey);
  uint32_t result = kCacheFound;
  if (found == g_cache.end()) {
    auto entry = std::unique_ptr<CachedRecord>(new (std::nothrow) CachedRecord());
    if (entry == nullptr) return 0;
    entry->key = state.cacheKey;
    entry->itemRecord = itemRecord;
    InitRecord(entry->record);
    found = g_cache.emplace(state.cacheKey, std::move(entry)).first;
    result = kCacheCreated;
  }
  CachedRecord& entry = *found->second;
  RecordChanging changing(entry);
  ++entry.holds[&items];
  ++entry.record.openCount;
  items.entry = &entry;
  state.openIndex = &entry.record;
  return result;
}

void RaiseOpenCount(ThreadItems& items) {
  platform::RecursiveMutex* cacheLock = EnsureIndexCacheLock();
  if (cacheLock == nullptr || items.entry == nullptr) return;
  MutexLock guard(cacheLock, platform::kInfinite);
  RecordChanging changing(*items.entry);
  ++items.entry->holds[&items];
  ++items.entry->record.openCount;
}

void CacheRelease(TLSStoreIndex& state, ThreadItems& items, bool reset) {
  if (items.entry != nullptr) {
    platform::RecursiveMutex* cacheLock = EnsureIndexCacheLock();
    if (cacheLock == nullptr) return;
    MutexLock guard(cacheLock, platform::kInfinite);
    // With reset the thread forgets the record, so it lets go of every
    // nested open: it could never close them.
    if (LowerHold(items, reset ? UINT32_MAX : 1)) {
      Forget(state, items);
      reset = true;
    }
  }
  if (reset) ResetNames(state, items);
}

void DropAllHolds(ThreadItems& items) {
  if (items.entry == nullptr) return;
  platform::RecursiveMutex* cacheLock = EnsureIndexCacheLock();
  if (cacheLock == nullptr) return;
  MutexLock guard(cacheLock, platform::kInfinite);
  LowerHold(items, UINT32_MAX);
  ClearCurrentItem(items);
  items.entry = nullptr;
}

void ForEachOtherHolder(CachedRecord& entry, const ThreadItems& self, const std::function<void(ThreadItems&)>& fn) {
  for (auto& [holder, count] : entry.holds)
    if (holder != &self) fn(*holder);
}

bool ForEachCachedRecord(const std::function<void(CachedRecord&)>& fn) {
  platform::RecursiveMutex* cacheLock = EnsureIndexCacheLock();
  if (cacheLock == nullptr) return false;
  MutexLock guard(cacheLock, platform::kInfinite);
  for (auto& [key, entry] : g_cache) fn(*entry);
  return true;
}

size_t CachedRecordCount() {
  platform::RecursiveMutex* cacheLock = EnsureIndexCacheLock();
  if (cacheLock == nullptr) return 0;
  MutexLock guard(cacheLock, platform::kInfinite);
  return g_cache.size();
}

}  // namespace tw

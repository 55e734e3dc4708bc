#include "index/cache/loaded_index_store.h"

#include <algorithm>
#include <atomic>

#include "frame/registry_access.h"
#include "frame/seams.h"
#include "index/locking/block_settings.h"

namespace tw {
namespace {

std::atomic<uint32_t> g_capacity{kNotReadYet};

void ForgetLoadedIndexes() { LoadedIndexStore::Process().Clear(); }

__attribute__((constructor(101))) void InstallAtLoad() { Seams().forgetLoadedIndexes = &ForgetLoadedIndexes; }

}  // namespace

LoadedIndexStore& LoadedIndexStore::Process() {
  // Never destroyed: a service thread may still put an index back while the
  // process exits.
  static auto* store = new LoadedIndexStore();
  return *store;
}

size_t LoadedIndexStore::Capacity() const {
  return ReadDwordOnce(g_capacity, kRegistryRoot, "Loaded Index Cache Folders", 16);
}

void LoadedIndexStore::SetCapacity(uint32_t folders) {
  g_capacity = folders;
  if (folders == 0) Clear();
}

void LoadedIndexStore::ResetCapacity() { g_capacity = kNotReadYet; }

size_t LoadedIndexStore::Size() {
  std::lock_guard<std::mutex> guard(mutex_);
  return entries_.size();
}

std::unique_ptr<SORTEDSTOREINDEXTYPE> LoadedIndexStore::TakeCurrent(const std::string& indexFile,
                                                                     const platform::FileStamp& now) {
  std::unique_ptr<SORTEDSTOREINDEXTYPE> taken;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [&](const Entry& e) { return e.indexFile == indexFile; });
    if (found == entries_.end()) return nullptr;
    const bool current = found->stamp == now;
    taken = std::move(found->index);
    entries_.erase(found);
    if (current) return taken;
  }
  return nullptr;  // the stale index is freed here, outside the lock
}

void LoadedIndexStore::Keep(const std::string& indexFile, std::unique_ptr<SORTEDSTOREINDEXTYPE> index,
                            const platform::FileStamp& stamp) {
  const size_t capacity = Capacity();
  if (!index || capacity == 0) return;
  index->ownerRecord = nullptr;
  std::vector<std::unique_ptr<SORTEDSTOREINDEXTYPE>> dropped;  // freed outside the lock
  {
    std::lock_guard<std::mutex> guard(mutex_);
    const auto kept = std::find_if(entries_.begin(), entries_.end(),
                                   [&](const Entry& e) { return e.indexFile == indexFile; });
    if (kept != entries_.end()) {
      dropped.push_back(std::move(kept->index));
      entries_.erase(kept);
    }
    // An index in use is out of the store, and one put back goes last:
    // the first is the least recently kept.
    while (entries_.size() >= capacity) {
      dropped.push_back(std::move(entries_.front().index));
      entries_.erase(entries_.begin());
    }
    entries_.push_back(Entry{indexFile, stamp, std::move(index)});
    NoteMet(indexFile, capacity);
  }
}

bool LoadedIndexStore::WorthKeeping(const std::string& indexFile) {
  const size_t capacity = Capacity();
  if (capacity == 0) return false;
  std::lock_guard<std::mutex> guard(mutex_);
  return NoteMet(indexFile, capacity);
}

bool LoadedIndexStore::NoteMet(const std::string& indexFile, size_t capacity) {
  const auto found = std::find(met_.begin(), met_.end(), indexFile);
  const bool met = found != met_.end();
  if (met) met_.erase(found);
  if (met_.size() >= 4 * capacity) met_.erase(met_.begin());
  met_.push_back(indexFile);
  return met;
}

void LoadedIndexStore::Clear() {
  std::vector<Entry> dropped;
  std::lock_guard<std::mutex> guard(mutex_);
  dropped.swap(entries_);
  met_.clear();
}

}  // namespace tw

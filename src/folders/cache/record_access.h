// The two ways the item calls take a cached record. Reads of its items
// (walks, property reads) share it; anything that changes or may load it
// holds it alone, then takes the record lock the index code uses. Always
// in that order.
//
// A reader marks only a slot of its own (in its thread's item state), so
// threads walking one shared record never write to a common cache line and
// run in parallel. A changer raises the record's flag, then waits until no
// holder's slot is marked; a reader that finds the flag raised steps back
// and waits on the changers' mutex.
#pragma once
#include <atomic>
#include <mutex>
#include <thread>

#include "folders/cache/index_cache.h"
#include "folders/items/thread_items.h"
#include "index/lifecycle/store_index_record.h"
#include "index/locking/mutex_lock.h"

namespace tw {

class RecordReading {
 public:
  RecordReading(CachedRecord& entry, ThreadItems& reader) : slot_(reader.readingSlot) {
    for (;;) {
      slot_.store(true);
      if (!entry.changing.load()) return;
      slot_.store(false);
      std::lock_guard<std::mutex> wait(entry.changers);
    }
  }
  ~RecordReading() { slot_.store(false, std::memory_order_release); }
  RecordReading(const RecordReading&) = delete;
  RecordReading& operator=(const RecordReading&) = delete;

 private:
  std::atomic<bool>& slot_;
};

class RecordChanging {
 public:
  explicit RecordChanging(CachedRecord& entry)
      : entry_(entry), changers_(entry.changers), ready_(RaiseFlag(entry)), record_(LockFieldsOf(entry.record)) {}
  ~RecordChanging() { entry_.changing.store(false); }
  RecordChanging(const RecordChanging&) = delete;
  RecordChanging& operator=(const RecordChanging&) = delete;

 private:
  // Under the changers' mutex; holders are only added or removed by
  // changers, so the list stays as it is while the readers drain.
  static bool RaiseFlag(CachedRecord& entry) {
    entry.changing.store(true);
    for (auto& [holder, count] : entry.holds)
      while (holder->readingSlot.load()) std::this_thread::yield();
    return true;
  }

  CachedRecord& entry_;
  std::lock_guard<std::mutex> changers_;
  bool ready_;
  StoreIndexMutexLock record_;
};

}  // namespace tw

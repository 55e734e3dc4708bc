// What the item calls keep for one thread: its current item (with the kind
// and location texts the property calls read) and its place in a walk.
#pragma once
#include <atomic>
#include <cstdint>

#include "frame/thread_state.h"
#include "index/items/index_item.h"

namespace tw {

struct CachedRecord;

struct ThreadItems final : ThreadItemState {
  // Drops every hold the thread still has on a cached record: a thread that
  // ends while it has a folder open leaves the record to the others.
  ~ThreadItems() override;

  IndexItem current;
  // The walk stands at the item of this UID; the next item is the first
  // with a higher UID, so a walk survives items leaving or a reload.
  uint32_t cursorUid = 0;
  size_t cursorPlace = 0;  // where that item stood in UID order
  bool walking = false;
  // The cache entry behind the thread's open index; set exactly when the
  // thread holds it.
  CachedRecord* entry = nullptr;
  // Set while the thread reads its record's items; on a line of its own so
  // that readers of one record do not share one.
  alignas(64) std::atomic<bool> readingSlot{false};
};

// The calling thread's item state inside its TLSStoreIndex, made on first
// use; null when there is no memory for it.
ThreadItems* ItemsOf(TLSStoreIndex& state);
// Never makes it.
ThreadItems* ExistingItemsOf(TLSStoreIndex& state);

// Forgets the current item and the walk.
void ClearCurrentItem(ThreadItems& items);
// Empties the current item's four location texts.
void ClearItemLocation(ThreadItems& items);

}  // namespace tw

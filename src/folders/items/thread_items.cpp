#include "folders/items/thread_items.h"

#include <new>

#include "folders/cache/index_cache.h"
#include "folders/properties/item_property_access.h"

namespace tw {

ThreadItems::~ThreadItems() {
  if (entry != nullptr) DropAllHolds(*this);
}

ThreadItems* ExistingItemsOf(TLSStoreIndex& state) { return static_cast<ThreadItems*>(state.items.get()); }

ThreadItems* ItemsOf(TLSStoreIndex& state) {
  if (state.items == nullptr) {
    auto* items = new (std::nothrow) ThreadItems();
    if (items == nullptr) return nullptr;
    items->current.kind = kKindUnbound;
    state.items.reset(items);
  }
  return ExistingItemsOf(state);
}

void ClearCurrentItem(ThreadItems& items) {
  items.current.Reset();
  items.cursorUid = 0;
  items.walking = false;
}

void ClearItemLocation(ThreadItems& items) {
  items.current.postoffice[0] = '\0';
  items.current.mailbox[0] = '\0';
  items.current.folderName[0] = '\0';
  items.current.folderPath[0] = '\0';
}

}  // namespace tw

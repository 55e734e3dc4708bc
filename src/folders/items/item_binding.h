// How the item calls find the calling thread's open record and bind its
// current item to it.
#pragma once
#include <string_view>

#include "folders/cache/index_cache.h"
#include "folders/items/thread_items.h"
#include "twstore.h"

namespace tw {

// An item ID names one file in the item's folder: one name, no separator,
// not "." or "..", no NUL. Other IDs are never created, deleted or read.
bool IsSafeItemId(std::string_view id);

// The calling thread's item state when it holds an open index; null when
// it holds none.
ThreadItems* HeldItems();

// Under the record lock: the current item's postoffice, mailbox and folder
// name come from the record when one is empty, and its kind when unbound.
void BindCurrentItem(ThreadItems& items, const STOREINDEXTYPE& record);
// As BindCurrentItem when the postoffice is empty, also resolving the
// folder path; then the kind.
void BindForPropertyRead(ThreadItems& items, const STOREINDEXTYPE& record);

}  // namespace tw

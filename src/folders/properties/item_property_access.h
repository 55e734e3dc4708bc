// Setting and reading one property of an item through the item interface:
// the item's kind picks the name mapping, a set on a folder's record may
// create the item, and a read hands the value out as a new block.
#pragma once
#include <cstdint>
#include <string_view>

#include "index/items/index_item.h"
#include "twstore.h"

namespace tw {

inline constexpr uint32_t kPropertyReturned = 2;
inline constexpr uint32_t kNoPropertyValue = 0xFFFFFFFF;
// An item's kind before it has been bound to its folder's type.
inline constexpr uint32_t kKindUnbound = 0xFFFFFFFF;

// Sets `name` to `value` on the item `handle` refers to; a null handle means
// the record's current item. Mail items (kinds 0 and 25) take mapped names
// only; other kinds take the name as it stands. With a record, an `id` (or a
// handle without an item) points the handle at that item of the record's
// index, which is made when missing, and the record is marked changed. A
// name beginning with "@" is set without its "@" and without READ following
// FLAGSTATUS. The item's TW_STATUS becomes "1". 1 when set, else 0.
// Contact, calendar and task items (kinds 1 to 3) are not handled here: 0.
uint32_t SetItemProperty(STOREINDEXTYPE* record, IndexItem* handle, std::string_view id, std::string_view name,
                         std::string_view value);

// Reads `name` from the item: kPropertyReturned with a new block (freed with
// Memory_Free) and its length; kNoPropertyValue with none when the name has
// no mapping, the item has no value or no conversion applies. Mapped names
// that find nothing fall back to the item's location texts (TW_POSTOFFICE,
// TW_MAILBOX, TW_FOLDER, TW_FOLDER_PATH). Kinds above 25 give 0; contact
// and calendar items go to their kind's rules; task items read through the
// task table. Body properties come from the item's own file
// (ReadBodyProperty, whose result is handed on), file dates and type from
// the file's facts (ReadFileProperty).
uint32_t GetItemProperty(IndexItem& handle, std::string_view name, void** value, uint32_t* length);

}  // namespace tw

// Copying an item into the caller's fixed-layout StoreItemRecord, and the
// LASTUID text form of the older index files.
#pragma once
#include <cstdint>
#include <string_view>

#include "index/items/index_item_property_container.h"
#include "twstore.h"

namespace tw {

// Level 1: every field (texts, SIZE, ATTACHMENTS, IMPORTANCE are cleared and
// set only when present; UID, SEQ, IDX always); level 0: only the flags;
// any other level: nothing. Texts are cut to their field and terminated.
// False only for a null container.
bool CopyItemToRecord(const IndexItemPropertyContainer* container, int32_t detailLevel, StoreItemRecord& record);

}  // namespace tw

// When a folder's contents and its list of sub-folders last changed, as
// packed MS-DOS dates and times (date in the high half), for clients that
// ask before they read again.
#pragma once
#include <cstdint>

#include "twstore.h"

namespace tw {

// The last write of the folder's _index.xml; 0 while the folder has pending
// changes (_CHANGE.DTY), when there is no index, or the record is refused.
uint32_t ContentsModificationDate(const FolderRecord& record);
// The last write of the folder's _folder.xml; 0 when there is none.
uint32_t HierarchyModificationDate(const FolderRecord& record);
// The highest count among the mailbox's delivery counter files
// ("_<n>.NEW"), which are all deleted; 0 when there are none.
uint32_t DeliveredMessageCount(const FolderRecord& record);

}  // namespace tw

// Removing a folder tree.
#pragma once
#include <cstdint>

#include "twstore.h"

namespace tw {

// Removes the folder the record names with everything below it, its shares
// and the mailbox's size cache, and marks its parent's folder index out of
// date. 1 when all of it is gone. Refused with 0 before anything is
// touched: a "Public" path, a record leading elsewhere, the tree's own
// directory (an empty name at the top level), a folder that is not there,
// and a tree in which another live process holds a block file. A folder
// that is a link is removed as a link.
uint32_t RemoveFolder(const FolderRecord& record);

}  // namespace tw

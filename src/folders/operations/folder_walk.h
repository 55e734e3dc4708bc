// The size of a folder tree: each folder's indexed size, walked depth first
// through the folder lists.
#pragma once
#include <cstdint>

#include "twstore.h"

namespace tw {

// Sets the record's total to the tree's size (kilobytes per folder, rounded
// down, with `kilobytes`), saturating at 4294967295. Always 1: a folder
// that cannot be read adds 0.
uint32_t SizeFolderTree(FolderRecord& record, bool kilobytes);

}  // namespace tw

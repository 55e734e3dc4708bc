// Removal of listed items from an index, with the sizes and counters that
// follow them.
#pragma once
#include <cstdint>
#include <string>

#include "index/items/folder_details.h"

namespace tw {

class SORTEDSTOREINDEXTYPE;

// Removes the IDs of the comma-separated list (each once). `sizeTotal` gets
// the SIZE of each removed item; `counters` lose the item, its \SEEN and
// its \RECENT. True when an item was removed.
bool RemoveFromIndex(SORTEDSTOREINDEXTYPE& index, const std::string& ids, uint64_t* sizeTotal,
                     FolderDetails* counters);

// Bytes in kilobytes rounded to nearest.
int32_t RoundedKilobytes(uint64_t bytes);

}  // namespace tw

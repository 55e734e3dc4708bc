// Facts of an item's own file handed out as properties of file-root items:
// its times (long-text mark 2) and its type (mark 3). They are read from
// the file on each request, so they are never stale in the index.
#pragma once
#include <cstdint>

#include "folders/properties/property_map.h"
#include "index/items/index_item.h"

namespace tw {

// What PR_FILE_TYPE hands out.
inline constexpr int32_t kFileTypeFile = 0;
inline constexpr int32_t kFileTypeDirectory = 1;

// "LASTMODIFIEDDATE", "CREATEDDATE" and "LASTACCESSEDDATE" are the file's
// last-write, creation and last-access times as file times; "FILETYPE" is
// kFileTypeDirectory for a directory and kFileTypeFile for anything else
// (a symbolic link counts as what it points to). 2 with a new block
// (freed with Memory_Free) and its length; 0xFFFFFFFF with none when the
// file is not there, the name is none of these or no conversion applies.
uint32_t ReadFileProperty(const IndexItem& item, const PropertyDescriptor& descriptor, void** value,
                          uint32_t* length);

}  // namespace tw

// Where an item's own file lies: its folder directory followed by its ID.
// Body texts and file facts of an item are read from there, never from the
// index.
#pragma once
#include <optional>
#include <string>

#include "index/items/index_item.h"

namespace tw {

// The item's folder directory (its folder path, or when it has none the
// index directory of its postoffice, mailbox and folder name) + "\" + its
// ID, at most 1023 characters. None for an item without an ID, an ID that
// is not a single name inside the folder, or a path that does not fit.
std::optional<std::string> ItemFilePath(const IndexItem& item);

}  // namespace tw

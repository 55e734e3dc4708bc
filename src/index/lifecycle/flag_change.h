// The flag-change grammar of the direct update: "+\SEEN -\FLAGGED" adds
// and removes words; a change whose first word has no sign replaces the
// flags. Counters follow the words that were added or removed.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "index/items/folder_details.h"

namespace tw {

// Applies `change` to `flags`; true when a word was added or removed.
// `counters` (may be null) gets the seen, flagged and answered changes.
bool ApplyFlagChange(std::string& flags, std::string_view change, FolderDetails* counters);

// Splits a comma-separated ID list; empty entries are dropped and at most
// 1000 entries are taken.
std::vector<std::string> SplitIdList(std::string_view list);
// Splits a comma-separated list keeping empty entries in their places (at
// most 1000 entries).
std::vector<std::string> SplitPositionalList(std::string_view list);

}  // namespace tw

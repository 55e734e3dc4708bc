// The search-index journal of a mailbox,
// "<postoffice root>\INDEXROOT\<mailbox>\_srchidx.upd": one line
// "<action>\t<folder>\t<message>" per message added, changed or deleted,
// for the search indexer to pick up. When a change cannot be written,
// "_srchidx.dty" beside it tells the indexer to look at the whole mailbox.
#pragma once
#include <string>
#include <string_view>

namespace tw {

inline constexpr const char* kSearchJournalFile = "_srchidx.upd";
inline constexpr const char* kSearchDirtyFile = "_srchidx.dty";

// The journal's directory for a postoffice and mailbox; empty when either
// name is refused.
std::string SearchIndexDirectory(const std::string& postoffice, const std::string& mailbox);

// Reads `data` as the command part of a notification message and journals
// ADD and NEW as "Add", MOD as "Update", DEL as "Delete"; other commands do
// nothing. A directory that does not exist yet is not made: the mailbox
// has not been indexed, and its first indexing sees every message anyway.
void JournalSearchIndexChange(std::string_view data);

}  // namespace tw

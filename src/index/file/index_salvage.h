// What survives a damaged index: the complete elements before the damage
// keep their UIDs and flags, and no UID the folder handed out before is
// given out again (the UID floor).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tw {

class SORTEDSTOREINDEXTYPE;

// A floor candidate at or above this is taken for damage, not for a UID the
// folder handed out: it would use up half the UID space at once.
inline constexpr uint32_t kUidFloorLimit = 0x80000000u;

// Reads what a damaged index file still holds into `index` (emptied
// first): every complete element before the damage whose item file still
// exists, with all its properties. The items lose their file places and
// the next save writes the whole file. Raises the index's UID floor to the
// file's LASTUID and its highest UID.
void SalvageIndexFile(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType);

// The LASTUID in the root tag of `_index.xml.bak`; 0 when there is none.
uint32_t BackupIndexLastUid(const std::string& folder);

// Raises the index's UID floor to `candidate`. A candidate at or above
// kUidFloorLimit is reported to the serialisation log and ignored.
void RaiseUidFloor(SORTEDSTOREINDEXTYPE& index, uint32_t candidate, std::string_view source,
                   const std::string& folder);

}  // namespace tw

// What survives a damaged index: the complete elements before the damage
// keep their UIDs and flags, and no UID the folder handed out before is
// given out again (the UID floor).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

class SORTEDSTOREINDEXTYPE;

// A floor candidate at or above this is taken for damage, not for a UID the
// folder handed out: it would use up half the UID space at once.
inline constexpr uint32_t kUidFloorLimit = 0x80000000u;

// What a damaged index file still holds.
struct SalvagedIndex {
  // Every property of each complete element before the damage whose item
  // file still exists, ID and UID among them.
  std::vector<std::map<std::string, std::string>> items;
  // The file's LASTUID and its highest UID, when plausible.
  uint32_t floor = 0;
};

SalvagedIndex SalvageIndexFile(const std::string& folder, uint32_t folderType);
// The same of another index file of the folder (`_index.xml.bak`).
SalvagedIndex SalvageIndexFileNamed(const std::string& folder, const std::string& fileName);

// Puts what was salvaged into `index`, which may hold a restored backup: an
// item there under the same ID and UID takes the salvaged properties (they
// are newer), a missing one is inserted when its UID is free. Raises the UID
// floor; the next save writes the whole file.
void AddSalvaged(SORTEDSTOREINDEXTYPE& index, const SalvagedIndex& salvaged, const std::string& folder);

// The LASTUID in the root tag of `_index.xml.bak`; 0 when there is none.
uint32_t BackupIndexLastUid(const std::string& folder);

// Raises the index's UID floor to `candidate`. A candidate at or above
// kUidFloorLimit is reported to the serialisation log and ignored.
void RaiseUidFloor(SORTEDSTOREINDEXTYPE& index, uint32_t candidate, std::string_view source,
                   const std::string& folder);

}  // namespace tw

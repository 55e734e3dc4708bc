// Writes an index through the save serialiser while the caller already
// holds the folder's block (a block file is not re-entrant, so this never
// takes it).
#pragma once
#include <cstdint>
#include <string>

namespace tw {

class SORTEDSTOREINDEXTYPE;

// After a save that wrote the file: no change is pending any more and the
// file's time and size are remembered for the next change check.
bool SaveIndexBlockHeld(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType);

// The index file's last-write time and size into the index (both 0 when
// the file is missing).
void RememberIndexFile(SORTEDSTOREINDEXTYPE& index, const std::string& path);

}  // namespace tw

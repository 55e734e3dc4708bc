// Rebuilds a mail folder's index from its message files: the saved index
// is loaded first so that known messages keep their UIDs and flags, changed
// files are read again, new files get the next UIDs, and the index, the
// folder's counters (_FOLDER.DAT) and size (_DIRSIZE.TMP) are written.
#pragma once
#include <cstdint>
#include <string>

namespace tw {

class SORTEDSTOREINDEXTYPE;

// Scan reasons.
inline constexpr int32_t kScanExplicit = 1;
// The caller already holds the folder's block file.
inline constexpr int32_t kScanBlockHeld = 99;

// Result: 1 when the index was saved or the walk stopped at "Maximum Index
// Rows" (the folder then stays dirty and nothing is saved), 0 when the
// block could not be had or the save failed; 0 for an empty folder path.
int32_t ScanMailFolder(SORTEDSTOREINDEXTYPE& index, const std::string& folderPath, int32_t reason, bool quiet);

// The walk alone, over an index already loaded by the caller, who holds
// the block and saves: new and changed files into the index, the folder's
// _DIRSIZE.TMP, and _CHANGE.DTY when the limit stopped the walk. True when
// the walk went through every file.
bool WalkMailFolder(SORTEDSTOREINDEXTYPE& index, const std::string& folderPath);

// Indexing a mail folder whose block the caller holds, over an index it
// loaded: the walk, then the save and the folder's _FOLDER.DAT. A walk cut
// short is saved only when `saveCutShort` (its counters are never written).
// 1 when saved (or not to be saved), 0 when the save failed. The open, the
// rebuild, the reconcile and ScanFolders all come here.
int32_t IndexMailFolderBlockHeld(SORTEDSTOREINDEXTYPE& index, const std::string& folderPath, bool saveCutShort);

// Makes the walk the reconcile's scan of mail folders. Idempotent; also
// done when the library starts.
void InstallMailFolderScan();

}  // namespace tw

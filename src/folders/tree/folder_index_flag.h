// "_folder.dty": its presence says that a folder's folder index is out of
// date. Its content is never read.
#pragma once
#include <string>

namespace tw {

inline constexpr const char* kFolderIndexFlagFile = "_folder.dty";
inline constexpr const char* kFolderIndexFlagText = "DIRTY";

// True when "_folder.xml" is missing, or is there together with the flag.
bool FolderIndexNeedsRebuild(const std::string& directory);

// Writes the flag; false when it cannot be written.
bool MarkFolderIndexOutOfDate(const std::string& directory);

// Removes the flag (every letter case of it).
void ClearFolderIndexFlag(const std::string& directory);

}  // namespace tw

// The paths of a folder's direct sub-folders, for walks down a tree.
#pragma once
#include <string>
#include <vector>

#include "twstore.h"

namespace tw {

// Deeper trees are not walked further: the path field would overflow long
// before, and a loop of renamed folders must end.
inline constexpr int kDeepestFolderLevel = 64;

// "\Inbox\Work", "\Inbox\Old" for the record of "\Inbox" ("\" or "" name
// the mailbox's top), as a folder list of its own gives them; a path too
// long for a record is left out.
std::vector<std::string> SubFolderPaths(const FolderRecord& parent);

}  // namespace tw

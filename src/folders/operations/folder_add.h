// Making a folder, and rebuilding a folder's list of sub-folders on request.
#pragma once
#include <cstdint>

#include "twstore.h"

namespace tw {

// Creates the folder the record names (its parent must exist); a top-level
// name takes its standard spelling. Non-zero when the directory was made.
// Refused: "Public" at the top level while public folders are enabled, a
// record leading elsewhere, and a name that a folder there already has in
// any letter case. A parent whose folder index does not list the name is
// marked out of date.
uint32_t AddFolder(FolderRecord& record);

// Rebuilds the folder index of the record's directory (normalising special
// names at the top level).
uint32_t ReindexChildFolders(const FolderRecord& record);

}  // namespace tw

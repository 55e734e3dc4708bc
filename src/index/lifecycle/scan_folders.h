// Rebuilds one folder's index from its files and writes it, for tools that
// have no index record of their own.
#pragma once
#include <cstdint>
#include <string>

namespace tw {

// Under the folder's block file: loads with a forced reconcile (every file
// walked, the index written), then saves once more. 1 when the index was
// loaded completely and saved, else 0.
int32_t ScanFolders(const std::string& folderPath);

}  // namespace tw

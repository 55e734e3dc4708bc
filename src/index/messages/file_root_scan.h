// The index of a file-root folder: one item per plain file, with ID (the
// file name), MODIFIEDDATE (its DOS date and time), SIZE and SUBJECT (the
// name again), kept in step with the files.
#pragma once
#include <cstdint>
#include <string>

namespace tw {

class SORTEDSTOREINDEXTYPE;

// `blockHeld`: the caller holds the folder's block. 1 when the index file
// was written.
int32_t ScanFileRoot(SORTEDSTOREINDEXTYPE& index, const std::string& folderPath, bool blockHeld);

}  // namespace tw

// Index changes made without a caller-held record: each call makes a
// private record, opens the folder's index under its block, changes it,
// commits, keeps `_FOLDER.DAT` and the size files in step and releases the
// block. The counters and size files are written while the block is still
// held, so that concurrent deliveries never lose an update.
#pragma once
#include <cstdint>
#include <string>

namespace tw {

enum class InsertOutcome { Indexed, Failed, UidsExhausted };

// The direct insert; with `callerHoldsBlock` the caller holds the folder's
// index block and keeps it. A folder without UIDs enough for every file
// changes nothing.
InsertOutcome InsertMessageFiles(const std::string& postoffice, const std::string& mailbox, const std::string& folder,
                                 const std::string& ids, const std::string& flags, bool callerHoldsBlock);
int32_t DirectInsertItems(const std::string& postoffice, const std::string& mailbox, const std::string& folder,
                          const std::string& ids, const std::string& flags);
int32_t DirectUpdateItems(const std::string& postoffice, const std::string& mailbox, const std::string& folder,
                          const std::string& ids, const std::string& change);
int32_t DirectRemoveItems(const std::string& postoffice, const std::string& mailbox, const std::string& folder,
                          const std::string& ids);

}  // namespace tw

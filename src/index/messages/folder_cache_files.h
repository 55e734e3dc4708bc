// The two cache files beside a folder's items: `_FOLDER.DAT`, the folder's
// 13 counters as 52 little-endian bytes, and `_DIRSIZE.TMP`, a size in
// kilobytes as decimal text (also one per mailbox). Neither has a lock of
// its own; a size file is opened without sharing, so a concurrent opener
// fails and deletes it (the size is then computed afresh).
#pragma once
#include <cstdint>
#include <string>

#include "index/items/folder_details.h"

namespace tw {

inline constexpr const char* kFolderDatFile = "_FOLDER.DAT";
inline constexpr const char* kDirSizeFile = "_DIRSIZE.TMP";
inline constexpr size_t kFolderDatBytes = FolderDetails::kCount * 4;

// Signed view of the counters: a negative item count becomes 0; answered,
// seen, recent and the recent-arrival counters (words 1, 3, 7, 8, 9) below
// 1 become 0 and above the item count become the item count.
void NormaliseFolderDetails(FolderDetails& details);

// Reads up to 52 bytes over `details` (words not covered keep their
// values) and normalises. A missing file gives 13 zero words silently;
// another open failure is retried once after 1000 ms, then reported to the
// log hook and gives zeros. Returns the number of bytes read.
size_t ReadFolderDatFile(const std::string& path, FolderDetails& details);
// Normalises and writes the 52 bytes (same single retry). True when written.
bool WriteFolderDatFile(const std::string& path, const FolderDetails& details);

// After a save that counted nothing: raises word 11 (LASTUID) of the
// folder's _FOLDER.DAT to `lastUid`, so that the folder remembers the UIDs
// the save handed out; the other words stay. A missing file is written from
// `counted` when given (the counters of a fully loaded index), else left
// missing.
void RaiseFolderDatLastUid(const std::string& folderPath, uint32_t lastUid, const FolderDetails* counted);

// The `_FOLDER.DAT` of a folder named by postoffice, mailbox and folder
// name: "<folder directory>\_FOLDER.DAT", or "<directory>_FOLDER.DAT" for
// an empty folder name (the mailbox's directory then ends with a
// separator). Empty when the names are unsafe.
std::string FolderDatPath(const std::string& postoffice, const std::string& mailbox, const std::string& folderName);

// 1 when at least one byte was read, else 0 with every word 0.
int32_t GetCachedStatus(const std::string& postoffice, const std::string& mailbox, const std::string& folderName,
                        FolderDetails& details);
// 1 when written; 0 (nothing written) when a name is empty.
int32_t SetCachedStatus(const std::string& postoffice, const std::string& mailbox, const std::string& folderName,
                        const FolderDetails& details);

// Writes "<folder>\_DIRSIZE.TMP" with `bytes` / 1024 in decimal.
bool WriteFolderSizeFile(const std::string& folderPath, uint64_t bytes);

// Adds `deltaKb` to the mailbox's size file (the FILEROOT one when the
// folder name holds "$FILEROOT") and, for a folder name outside FILEROOT,
// to the folder's own; a sum below 0 is written as 0. Only existing files
// are changed; one that cannot be opened is deleted.
void AddToSizeFile(const std::string& postoffice, const std::string& mailbox, int32_t deltaKb,
                   const std::string& folderName);

// Deletes the mailbox's size caches (its MAILROOT and FILEROOT
// `_DIRSIZE.TMP`, under the postoffice root and under the mail root where
// the two differ), so that the next size read counts afresh after a folder
// tree changed. False when one is there and cannot be deleted.
bool DeleteMailboxSizeFiles(const std::string& postoffice, const std::string& mailbox);

}  // namespace tw

// Enumerates a folder's sub-folders through a folder list: the folder
// index is rebuilt when missing or out of date, and a list's parsed entry
// is reused until the file changes.
#pragma once
#include <cstdint>
#include <string>

#include "twstore.h"

namespace tw {

struct FolderList;

// The calling thread's own folder list, made on first need; nullptr when
// it cannot be made.
FolderList* ThreadFolderList();

// The directory whose sub-folders the record lists; empty when the record
// names no safe place. Fields are read within their size only.
std::string ListedDirectory(const FolderRecord& record);

// A null `list` means the thread's own list.
uint32_t FindFirstSubFolder(FolderRecord& record, FolderList* list, bool verify);
uint32_t FindNextSubFolder(FolderRecord& record, FolderList* list, bool verify);
// Drops what the list holds; the thread's own list stays, empty.
uint32_t CloseSubFolderSearch(FolderList* list);

}  // namespace tw

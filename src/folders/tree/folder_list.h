// Folder lists: per-caller caches of parsed folder indexes, keyed by the
// folder's directory, with one enumeration cursor.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"

namespace tw {

struct FolderListEntry {
  std::vector<std::string> names;  // ascending byte order, each once
  uint32_t stamp = 0;              // MS-DOS date (high) and time of "_folder.xml" when parsed
  platform::FileStamp version;     // that file's exact version: a rewrite within
                                   // the two seconds of one MS-DOS time shows here
};

struct FolderList {
  // Keyed by the directory text, compared as bytes. None until initialised.
  std::unique_ptr<std::map<std::string, FolderListEntry>> entries;
  FolderListEntry* cursorEntry = nullptr;
  size_t cursor = 0;
  // The record texts the search under the cursor was started with and the
  // directory they resolved to: a next name for the same record needs no
  // second resolution (settings read, every directory on the way looked at).
  std::string cursorRecordKey;
  std::string cursorDirectory;
};

// nullptr when memory is short.
FolderList* CreateFolderList() noexcept;
void InitFolderList(FolderList& list);
// Drops every entry and the map (also of a list that has none).
void UnInitFolderList(FolderList& list) noexcept;
void FreeFolderList(FolderList* list) noexcept;

FolderListEntry* FindFolderEntry(FolderList& list, const std::string& directory);

// Reads the folder index of `directory` into the list's entry for it. A
// malformed file is deleted, so the next enumeration rebuilds it. With
// `verify` a name is kept only when it is a directory of `directory`.
// Names that no record could carry back or that would lead elsewhere
// (empty, ".", "..", separators, 512 bytes or more) are left out. False
// when the file is missing or malformed.
bool ParseFolderEntry(FolderList& list, const std::string& directory, bool verify);

}  // namespace tw

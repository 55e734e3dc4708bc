// The folder index "_folder.xml": one line of text naming a folder's
// sub-folders, which enumeration reads instead of walking the directory.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace tw {

inline constexpr const char* kFolderIndexFile = "_folder.xml";

// The file's bytes for these names, in this order. A name holding "]]>"
// would end its CDATA section early and break the file: it is left out.
std::string FolderIndexText(const std::vector<std::string>& names);

// Writes the folder index of `directory` whole to a temporary file of this
// writer's own and renames it over the old one, so a reader never sees half
// a file. False when it cannot be written.
bool WriteFolderIndex(const std::string& directory, const std::vector<std::string>& names);

enum class FolderIndexRead { Read, Missing, Malformed };

struct FolderIndexContent {
  std::vector<std::string> names;  // the text of each "folder" element, in file order
  platform::FileStamp stamp;       // the file's version before it was read
};

// Reads the folder index of `directory`. Malformed covers a file that
// cannot be read or parsed, or is too large to be a folder index.
FolderIndexRead ReadFolderIndex(const std::string& directory, FolderIndexContent& content);

// True when a "name" element of the folder index equals `name` without
// regard to case, both cut to their first 259 characters.
bool FolderIndexListsName(const std::string& directory, std::string_view name);

}  // namespace tw

// Where a folder operation may act. A record's path belongs to one tree
// (the mailbox, its file tree, the postoffice's vCard tree or the public
// tree); every operation stays at or below that tree's own directory and
// reaches its folder through real directories only, never through a link.
// Operations that remove, move or copy act strictly below it.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "twstore.h"

namespace tw {

// The directory the record names (with its name when not empty), for
// reading and for the folder index: none when the record is refused or
// any directory below its tree's own, the folder included, is a link.
std::optional<std::string> RecordDirectory(const FolderRecord& record);

struct FolderPlace {
  std::string root;       // the tree's own directory: never removed, moved or copied
  std::string directory;  // the folder the record names, below root
  std::string parent;     // directory's parent (root itself for a top-level folder)
};

// For changes: none when the record is refused, holds a "." component,
// names the tree's own directory, or reaches its folder through a link. The
// folder itself may be a link (a remove then deletes the link alone).
std::optional<FolderPlace> ResolveFolderPlace(const FolderRecord& record);

// The folder's path as the share files spell it: the record's path with
// the name appended when there is one.
std::string RecordFolderPath(const FolderRecord& record);

// True when `inner` is `outer` or lies below it, letter case aside.
bool IsSameOrBelow(std::string_view inner, std::string_view outer);

}  // namespace tw

// Block files inside a folder tree. Another process's live block means a
// folder it is working in: the tree must not be removed or moved under it.
// A block file is never copied: in a copy it would mark a folder nobody
// works in.
#pragma once
#include <string>
#include <string_view>

namespace tw {

// A block file's name ("_index.blk", "_groups.blk", ...): it ends in ".blk".
bool IsBlockFileName(std::string_view name);

// True when some block file in the tree is held by a live process (its lock
// is taken, or its owner record names a process that still runs). Links
// are neither entered nor looked through.
bool TreeHasLiveBlock(const std::string& directory);

}  // namespace tw

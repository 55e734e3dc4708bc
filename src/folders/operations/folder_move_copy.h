// Moving (renaming) and copying a folder tree, within a mailbox or between
// mailboxes.
#pragma once
#include <cstdint>

#include "twstore.h"

namespace tw {

// Moves the old record's folder to the new record's place; 1 when moved.
// Top-level names take their standard spelling. Refused with 0 before
// anything is touched: a "Public" path on either side, a record leading
// elsewhere, a tree's own directory on either side, a source that is not
// there, a destination that exists in any letter case (a move never
// merges; only a change of the name's letter case is allowed), a
// destination inside the source, and a tree in which another live process
// holds a block file. Both parents are marked out of date, the moved tree's
// shares are dropped and the size caches of the mailboxes involved deleted.
uint32_t MoveFolder(FolderRecord& from, FolderRecord& to);

// Copies the source folder's tree to the destination's place, which must
// not exist in any letter case and must not lie inside the source. Links,
// block files and access lists are not copied (the copy is shared with
// nobody). A copy that fails half-way is removed again. The destination's
// parent is marked out of date and its mailbox's size cache deleted. 1 when
// copied.
uint32_t CopyFolder(FolderRecord& from, FolderRecord& to);

}  // namespace tw

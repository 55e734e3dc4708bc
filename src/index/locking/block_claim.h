// Looking at a block file that is in the way, and taking it over when its
// holder is gone. A takeover happens in place, under the file's own lock:
// the file is locked without sharing, judged again, and only then rewritten
// or deleted, so no two processes ever both believe they hold it.
#pragma once
#include <string>

#include "index/locking/block_owner.h"
#include "platform/file_handle.h"

namespace tw {

enum class BlockRule {
  OwnerRecord,  // index and calendar blocks: the owner record decides
  LockOnly,     // activity blocks are always held: a free lock decides
};

// What an owner-recorded block file is, judged without locking it against
// its owner's own release.
BlockState ExamineBlock(const std::string& path);

struct BlockClaim {
  BlockState state = BlockState::Unknown;
  platform::FileHandle handle;  // open without sharing when claimed
};

// Locks the block file without sharing and judges it under the lock. An
// orphan, or with `evenUnknown` a block nothing is known about, is claimed:
// the handle stays open, the content unchanged. Anything else is let go.
BlockClaim ClaimBlock(const std::string& path, BlockRule rule, bool evenUnknown);

// Empties a claimed activity block: its lock alone marks it, and the stamp
// of the holder that died goes with it.
void EmptyBlock(platform::FileHandle& handle);

}  // namespace tw

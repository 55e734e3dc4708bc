// Index block files: the exclusive creation of `_index.blk` (or
// `_groups.blk`) marks a folder index as in use by one process.
//
// A held block keeps its creating handle open without sharing until release,
// so nobody can open or delete it meanwhile; the handle value goes to the
// caller, who passes it back. A marker block closes its handle at once and
// the file alone marks the block. Both carry their owner's record
// (block_owner.h): a block whose holder is gone is taken without waiting, a
// marker whose owner still runs is never broken, and only blocks that tell
// nothing are broken after the counted wait.
#pragma once
#include <cstdint>
#include <string>

namespace tw {

inline constexpr const char* kIndexBlockingModule = "SERVICES\\Library\\LIBStoreIndexFileBlocking";

inline constexpr uint32_t kMarkerBlock = 0;
inline constexpr uint32_t kHeldBlock = 1;
// The caller already holds the block: neither wait nor release.
inline constexpr uint32_t kBlockAlreadyHeld = 99;

// One-second sleeps before a block is broken by force.
inline constexpr uint32_t kIndexBlockWaitCount = 60;
// Delete retries when releasing a block.
inline constexpr uint32_t kIndexUnblockRetries = 80;

// 1 when the block was taken (`handle` = the held handle's value, or 0 for
// a marker block); 0 when not (`handle` untouched). Paths in missing
// directories, too long or with invalid characters fail at once.
uint32_t WaitForAccessToIndexFileEx(const std::string& path, uint32_t holdHandle, uintptr_t* handle);

// 1 when the block file was deleted, 0 otherwise. With `holdHandle` 1 the
// passed handle is closed first and set to 0.
uint32_t UnBlockIndexFileAccessEx(const std::string& path, uint32_t holdHandle, uintptr_t* handle);

// Number of held block handles open in this process.
size_t OpenHeldBlockCount();

}  // namespace tw

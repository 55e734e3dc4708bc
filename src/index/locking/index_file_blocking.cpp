#include "index/locking/index_file_blocking.h"

#include <cctype>
#include <mutex>
#include <unordered_map>

#include "frame/event_report.h"
#include "index/locking/block_claim.h"
#include "index/locking/block_owner.h"
#include "index/locking/block_settings.h"
#include "index/locking/block_wait.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/sleep.h"

namespace tw {
namespace {

using platform::FileHandle;

// Held handles cross the C interface as numbers; the open files stay here
// until their release.
struct HeldBlocks {
  std::mutex lock;
  std::unordered_map<uintptr_t, FileHandle> handles;
};

HeldBlocks& Held() {
  static HeldBlocks* blocks = new HeldBlocks;  // outlives static destruction
  return *blocks;
}

uintptr_t KeepHeld(FileHandle handle) {
  const uintptr_t value = handle.Value();
  HeldBlocks& held = Held();
  std::lock_guard<std::mutex> guard(held.lock);
  held.handles[value] = std::move(handle);
  return value;
}

enum class HeldRelease { Unknown, Deleted, NotDeleted };

// Closes a held block's handle, deleting the file first while the handle
// still holds it. A name that no longer refers to the held file is left
// alone: it is someone else's block now.
HeldRelease CloseHeld(uintptr_t value, const std::string& path) {
  FileHandle closing;
  {
    HeldBlocks& held = Held();
    std::lock_guard<std::mutex> guard(held.lock);
    auto found = held.handles.find(value);
    if (found == held.handles.end()) return HeldRelease::Unknown;
    closing = std::move(found->second);
    held.handles.erase(found);
  }
  const bool deleted = platform::DeleteHeldFile(closing, path);
  closing.Close();
  return deleted ? HeldRelease::Deleted : HeldRelease::NotDeleted;
}

BlockKind KindOf(uint32_t holdHandle) { return holdHandle == kMarkerBlock ? BlockKind::Marker : BlockKind::Held; }

// A new block is born with its owner record: a kill while it is made never
// leaves a block that says nothing of its owner.
FileHandle CreateBlock(const std::string& path, uint32_t holdHandle) {
  return platform::CreateNewFile(path, platform::Access::Write, platform::Share::None,
                                 OwnOwnerRecord(KindOf(holdHandle)));
}

// A claimed block is deleted and made anew with our record; closed when
// another process made it first.
FileHandle Recreate(BlockClaim& claim, const std::string& path, uint32_t holdHandle) {
  if (!claim.handle.IsOpen()) return {};
  platform::DeleteHeldFile(claim.handle, path);
  claim.handle.Close();
  return CreateBlock(path, holdHandle);
}

// The block is ours: a marker lets go of its handle.
uint32_t Finish(FileHandle handle, uint32_t holdHandle, uintptr_t* out) {
  uintptr_t value = 0;
  if (holdHandle == kMarkerBlock)
    handle.Close();
  else
    value = KeepHeld(std::move(handle));
  *out = value;
  return 1;
}

bool FailsAtOnce(uint32_t error) {
  return error == platform::kErrorPathNotFound || error == platform::kErrorFilenameTooLong ||
         error == platform::kErrorInvalidName;
}

// Only index blocks may be deleted as orphans, never other blocks.
bool NamesIndexBlock(const std::string& path) {
  static constexpr char kName[] = "_index.blk";
  constexpr size_t kLength = sizeof(kName) - 1;
  for (size_t at = 1; at + kLength <= path.size(); ++at) {
    if (path[at - 1] != '\\' && path[at - 1] != '/') continue;
    bool same = true;
    for (size_t i = 0; i < kLength && same; ++i)
      same = std::tolower(static_cast<unsigned char>(path[at + i])) == kName[i];
    if (same) return true;
  }
  return false;
}

}  // namespace

uint32_t WaitForAccessToIndexFileEx(const std::string& path, uint32_t holdHandle, uintptr_t* handle) {
  if (holdHandle == kBlockAlreadyHeld) return 1;
  if (handle == nullptr) return 0;

  FileHandle block = CreateBlock(path, holdHandle);
  if (block.IsOpen()) return Finish(std::move(block), holdHandle, handle);

  BlockState state = BlockState::Unknown;
  uint32_t attempts = 0;
  for (;;) {
    const uint32_t error = platform::GetLastError();
    if (FailsAtOnce(error)) return 0;
    state = error == platform::kErrorFileExists ? ExamineBlock(path) : BlockState::Unknown;
    if (state == BlockState::Orphan) {
      // Its holder is gone: no reason to wait for it.
      BlockClaim claim = ClaimBlock(path, BlockRule::OwnerRecord, false);
      FileHandle ours = Recreate(claim, path, holdHandle);
      if (ours.IsOpen()) return Finish(std::move(ours), holdHandle, handle);
    }
    if (SecondPassedWhileBlocked(path)) ++attempts;
    const bool runOut = attempts > kIndexBlockWaitCount;
    // "Index Unblock Mode" breaks at once what nothing is known about; a
    // marker whose owner still runs is never broken.
    if (IndexUnblockMode() != 0 && error == platform::kErrorFileExists && state == BlockState::Unknown &&
        NamesIndexBlock(path) && holdHandle == kHeldBlock) {
      BlockClaim claim = ClaimBlock(path, BlockRule::OwnerRecord, true);
      if (claim.handle.IsOpen()) {
        Print("deleted orphan\n");
        FileHandle ours = Recreate(claim, path, holdHandle);
        if (ours.IsOpen()) return Finish(std::move(ours), holdHandle, handle);
      }
      if (runOut) break;
    } else if (runOut) {
      break;
    }
    block = CreateBlock(path, holdHandle);
    if (block.IsOpen()) return Finish(std::move(block), holdHandle, handle);
  }

  // The wait ran out: break the block, unless its owner is known to run. A
  // live held block keeps its lock through all 80 further tries.
  if (state == BlockState::LiveOwner) return 0;
  for (uint32_t retries = 0;; ++retries) {
    BlockClaim claim = ClaimBlock(path, BlockRule::OwnerRecord, true);
    if (claim.handle.IsOpen()) {
      FileHandle ours = Recreate(claim, path, holdHandle);
      return ours.IsOpen() ? Finish(std::move(ours), holdHandle, handle) : 0;
    }
    if (claim.state != BlockState::Busy || retries >= kIndexUnblockRetries) return 0;
    platform::Sleep(1000);
  }
}

uint32_t UnBlockIndexFileAccessEx(const std::string& path, uint32_t holdHandle, uintptr_t* handle) {
  if (holdHandle == kBlockAlreadyHeld) return 1;
  if (holdHandle == kHeldBlock && handle != nullptr) {
    const uintptr_t value = *handle;
    *handle = 0;
    // An unknown handle is ignored as a failure to close would be, and the
    // delete is still tried.
    const HeldRelease released = value != 0 ? CloseHeld(value, path) : HeldRelease::Unknown;
    if (released != HeldRelease::Unknown) return released == HeldRelease::Deleted ? 1 : 0;
  }
  if (platform::DeleteFile(path)) return 1;
  for (uint32_t retries = 0;;) {
    const uint32_t error = platform::GetLastError();
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) return 0;
    platform::Sleep(1000);
    ++retries;
    if (platform::DeleteFile(path)) return 1;
    if (retries >= kIndexUnblockRetries) return 0;
  }
}

size_t OpenHeldBlockCount() {
  HeldBlocks& held = Held();
  std::lock_guard<std::mutex> guard(held.lock);
  return held.handles.size();
}

}  // namespace tw

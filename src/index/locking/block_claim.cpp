#include "index/locking/block_claim.h"

#include "platform/file_head.h"
#include "platform/last_error.h"

namespace tw {
namespace {

BlockState StateOfFailure(uint32_t error) {
  if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) return BlockState::Gone;
  if (error == platform::kErrorSharingViolation) return BlockState::Busy;
  return BlockState::Unknown;
}

}  // namespace

BlockState ExamineBlock(const std::string& path) {
  // One byte more than any record: a longer file is no record.
  char content[kMaxOwnerRecord + 1];
  size_t got = 0;
  if (!platform::ReadFileHead(path, content, sizeof content, got)) return StateOfFailure(platform::GetLastError());
  return JudgeOwnerRecord(std::string_view(content, got));
}

BlockClaim ClaimBlock(const std::string& path, BlockRule rule, bool evenUnknown) {
  BlockClaim claim;
  platform::FileHandle handle =
      platform::OpenFile(path, platform::Access::ReadWrite, platform::Share::None, platform::Disposition::OpenExisting);
  if (!handle.IsOpen()) {
    claim.state = StateOfFailure(platform::GetLastError());
    return claim;
  }
  if (rule == BlockRule::LockOnly) {
    claim.state = BlockState::Orphan;
  } else {
    char content[kMaxOwnerRecord + 1];
    size_t got = 0;
    claim.state = handle.Read(content, sizeof content, got) ? JudgeOwnerRecord(std::string_view(content, got))
                                                            : BlockState::Unknown;
  }
  if (claim.state == BlockState::Orphan || (evenUnknown && claim.state == BlockState::Unknown))
    claim.handle = std::move(handle);
  return claim;
}

void EmptyBlock(platform::FileHandle& handle) {
  if (handle.Truncate(0)) handle.Seek(0, platform::SeekFrom::Begin);
}

}  // namespace tw

// Activity block files (`_activity.blk`): guard a mailbox's activity file
// and search index journal between processes. Under "Block File Mode" 1 the
// holder stamps its identity into the file and waiters may read it.
#pragma once
#include <cstdint>
#include <string>

#include "platform/file_handle.h"

namespace tw {

// 1 taken (`handle` open); 0 failed; -1 timed out and gave up (`giveUp` 0).
// `thresholdSeconds` one-second sleeps pass before the block is broken; a
// block whose lock nobody holds (its holder died) is taken at once.
int32_t WaitForAccessToFile(const std::string& path, platform::FileHandle& handle, uint32_t giveUp,
                            uint32_t thresholdSeconds, bool sharedRead);

// 1 deleted; 2 the file was already gone; 0 failed. With `handle`, the
// file is deleted while still held, then the handle closed.
int32_t UnBlockIndexFileAccess_Notify(const std::string& path, platform::FileHandle* handle);

// "<local date> <local time> <computer> <executable> <thread id>".
std::string ActivityOwnerStamp();

class BlockFileLock {
 public:
  static constexpr int32_t kFree = 0;
  static constexpr int32_t kHeld = 1;
  static constexpr int32_t kGaveUp = -1;
  static constexpr int32_t kNotReleasable = 2;

  BlockFileLock() = default;
  ~BlockFileLock() { Release(); }
  BlockFileLock(const BlockFileLock&) = delete;
  BlockFileLock& operator=(const BlockFileLock&) = delete;

  // 1 when taken, else 0 (with an event-log error).
  uint32_t Acquire(const std::string& path, uint32_t giveUp, uint32_t thresholdSeconds);
  // The new state: kFree, or kNotReleasable when the file stays.
  int32_t Release();

  int32_t State() const { return state_; }
  const std::string& Path() const { return path_; }

 private:
  int32_t state_ = kFree;
  platform::FileHandle handle_;
  std::string path_;  // at most 1023 characters
};

}  // namespace tw

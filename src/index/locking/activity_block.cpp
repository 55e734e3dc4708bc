#include "index/locking/activity_block.h"

#include <cstdio>
#include <ctime>

#include "frame/event_report.h"
#include "index/locking/block_claim.h"
#include "index/locking/block_settings.h"
#include "index/locking/block_wait.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/library_loader.h"
#include "platform/mutex.h"
#include "platform/sleep.h"
#include "platform/system_info.h"

namespace tw {
namespace {

using platform::FileHandle;

constexpr uint32_t kNotifyUnblockRetries = 80;
constexpr size_t kMaxComputerName = 200;
constexpr size_t kMaxBlockPath = 1023;

FileHandle CreateActivityBlock(const std::string& path, platform::Share share) {
  return platform::OpenFile(path, platform::Access::ReadWrite, share, platform::Disposition::CreateNew);
}

std::string ComputerName() {
  std::string name = platform::ComputerName();
  if (name.size() > kMaxComputerName) name.resize(kMaxComputerName);
  return name;
}

std::string ExecutableName() {
  const std::string path = platform::HostExecutablePath();
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string ActivityOwnerStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char when[128] = "";
  if (localtime_r(&now, &local) != nullptr) std::strftime(when, sizeof(when), "%x %X", &local);
  return std::string(when) + " " + ComputerName() + " " + ExecutableName() + " " +
         std::to_string(platform::CurrentThreadId());
}

int32_t WaitForAccessToFile(const std::string& path, FileHandle& handle, uint32_t giveUp, uint32_t thresholdSeconds,
                            bool sharedRead) {
  // Only the first attempt shares reading; every retry is exclusive.
  FileHandle block = CreateActivityBlock(path, sharedRead ? platform::Share::Read : platform::Share::None);
  uint32_t attempts = 0;
  while (!block.IsOpen()) {
    // A path that can never be created fails at once; waiting cannot help.
    const uint32_t error = platform::GetLastError();
    if (error == platform::kErrorPathNotFound || error == platform::kErrorFilenameTooLong ||
        error == platform::kErrorInvalidName)
      return 0;
    if (error == platform::kErrorFileExists) {
      // Every holder keeps its lock until the file is gone: a free lock
      // means the holder died, and the block is taken without waiting.
      BlockClaim claim = ClaimBlock(path, BlockRule::LockOnly, false);
      if (claim.handle.IsOpen()) {
        EmptyBlock(claim.handle);
        block = std::move(claim.handle);
        break;
      }
    }
    if (SecondPassedWhileBlocked(path)) ++attempts;
    if (attempts <= thresholdSeconds) {
      block = CreateActivityBlock(path, platform::Share::None);
      continue;
    }
    const int32_t forced = UnBlockIndexFileAccess_Notify(path, nullptr);
    if (forced == 1) {
      block = CreateActivityBlock(path, platform::Share::None);
      if (!block.IsOpen()) return 0;
      break;
    }
    if (forced == 2) {
      attempts = 0;
    } else if (giveUp == 0) {
      return -1;
    }
    block = CreateActivityBlock(path, platform::Share::None);
  }
  if (BlockFileMode() == 1) {
    const std::string stamp = ActivityOwnerStamp();
    block.Write(stamp.data(), stamp.size());
  }
  handle = std::move(block);
  return 1;
}

int32_t UnBlockIndexFileAccess_Notify(const std::string& path, FileHandle* handle) {
  if (handle != nullptr && handle->IsOpen()) {
    // Deleted while still held, so that the file never stands unlocked for
    // a waiter to take for an orphan.
    const bool deleted = platform::DeleteHeldFile(*handle, path);
    const uint32_t error = platform::GetLastError();
    handle->Close();
    if (deleted) return 1;
    if (error == platform::kErrorSharingViolation) return 0;  // the name is someone else's block now
  }
  if (platform::DeleteFile(path)) return 1;
  for (uint32_t retries = 0;;) {
    const uint32_t error = platform::GetLastError();
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) {
      if (handle != nullptr) handle->Close();
      return error == platform::kErrorFileNotFound ? 2 : 0;
    }
    platform::Sleep(1000);
    ++retries;
    if (platform::DeleteFile(path)) return 1;
    if (retries >= kNotifyUnblockRetries) break;
  }
  if (handle != nullptr) handle->Close();
  return 0;
}

uint32_t BlockFileLock::Acquire(const std::string& path, uint32_t giveUp, uint32_t thresholdSeconds) {
  handle_.Close();
  path_ = path.substr(0, kMaxBlockPath);
  state_ = WaitForAccessToFile(path_, handle_, giveUp, thresholdSeconds, BlockFileMode() == 1);
  if (state_ > 0) return 1;
  char text[1400];
  std::snprintf(text, sizeof(text),
                "TW-EXXXX: [Thread:%ld] Error (Class S): BlockFileLock Activity notification handler "
                "(WaitForAccessToFile) failed to obtain a lock on the blockfile (%s).\n",
                static_cast<long>(platform::CurrentThreadId()), path_.c_str());
  ReportStoreEvent(kEventTypeError, "Tarnwick", nullptr, kStoreEventId, text);
  return 0;
}

int32_t BlockFileLock::Release() {
  if (state_ >= kHeld)
    state_ = UnBlockIndexFileAccess_Notify(path_, &handle_) == 0 ? kNotReleasable : kFree;
  else
    state_ = kFree;
  return state_;
}

}  // namespace tw

#include "index/locking/calendar_block.h"

#include <atomic>

#include "frame/path_safety.h"
#include "frame/settings.h"
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

std::atomic<bool> g_blockSeen{false};

// Born with its owner record: a kill while it is made leaves no block that
// says nothing of its owner.
platform::FileHandle CreateMarker(const std::string& path) {
  return platform::CreateNewFile(path, platform::Access::Write, platform::Share::None,
                                 OwnOwnerRecord(BlockKind::Marker));
}

bool DeleteBlockFile(const std::string& path) {
  if (path.empty()) return false;
  const uint32_t limit = UnBlockTimeout();
  for (uint32_t retries = 0;;) {
    if (platform::DeleteFile(path)) return true;
    const uint32_t error = platform::GetLastError();
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) return false;
    if (++retries > limit) return false;
    platform::Sleep(1000);
  }
}

// Claims a block that nothing shows to be in use, waiting "UnBlock
// Timeout" seconds for a claim in progress elsewhere. A marker whose owner
// still runs is never claimed.
BlockClaim BreakBlock(const std::string& path) {
  const uint32_t limit = UnBlockTimeout();
  for (uint32_t retries = 0;;) {
    BlockClaim claim = ClaimBlock(path, BlockRule::OwnerRecord, true);
    if (claim.handle.IsOpen() || claim.state != BlockState::Busy || ++retries > limit) return claim;
    platform::Sleep(1000);
  }
}

// A claimed block is deleted and made anew as our marker; 0 when another
// process made it first.
uint32_t RecreateAsMarker(platform::FileHandle claimed, const std::string& path) {
  platform::DeleteHeldFile(claimed, path);
  claimed.Close();
  return CreateMarker(path).IsOpen() ? 1 : 0;
}

}  // namespace

std::string CalendarBlockPath(const std::string& calendarName) {
  // A name that would lead outside the block-file base names no block.
  if (calendarName.empty() || !IsSafeFolderPath(calendarName) || Settings().blockFileBase.empty()) return {};
  return Settings().blockFileBase + "\\" + calendarName + ".BLK";
}

uint32_t CreateCalendarBlock(const std::string& calendarName) {
  const std::string path = CalendarBlockPath(calendarName);
  if (path.empty()) return 0;
  const uint32_t limit = WriteWaitTimeout();
  platform::FileHandle block = CreateMarker(path);
  for (uint32_t retries = 0; !block.IsOpen();) {
    const BlockState state =
        platform::GetLastError() == platform::kErrorFileExists ? ExamineBlock(path) : BlockState::Unknown;
    if (state == BlockState::Orphan) {
      BlockClaim claim = ClaimBlock(path, BlockRule::OwnerRecord, false);
      if (claim.handle.IsOpen() && RecreateAsMarker(std::move(claim.handle), path) == 1) return 1;
    }
    if (SecondPassedWhileBlocked(path)) ++retries;
    if (retries > limit) {
      if (state == BlockState::LiveOwner) return 0;
      BlockClaim claim = BreakBlock(path);
      return claim.handle.IsOpen() ? RecreateAsMarker(std::move(claim.handle), path) : 0;
    }
    block = CreateMarker(path);
  }
  return 1;  // the marker stays when its handle closes
}

uint32_t DeleteCalendarBlock(const std::string& calendarName) {
  return DeleteBlockFile(CalendarBlockPath(calendarName)) ? 1 : 0;
}

bool CalendarBlockExists(const std::string& calendarName) {
  if (g_blockSeen.load()) return true;
  const std::string path = CalendarBlockPath(calendarName);
  if (path.empty() || platform::GetFileAttributes(path) == platform::kInvalidAttributes) return false;
  g_blockSeen.store(true);
  return true;
}

void WaitWhileCalendarBlocked(const std::string& calendarName) {
  const std::string path = CalendarBlockPath(calendarName);
  uint32_t seconds = 0;
  while (!path.empty() && platform::GetFileAttributes(path) != platform::kInvalidAttributes) {
    const BlockState state = ExamineBlock(path);
    if (state == BlockState::Orphan) {
      BlockClaim claim = ClaimBlock(path, BlockRule::OwnerRecord, false);
      if (claim.handle.IsOpen() && platform::DeleteHeldFile(claim.handle, path)) continue;
    }
    if (SecondPassedWhileBlocked(path)) ++seconds;
    if (seconds > ReadWaitTimeout()) {
      // A writer that still runs is waited for no longer, but its block
      // stays.
      if (state == BlockState::LiveOwner) return;
      BlockClaim claim = BreakBlock(path);
      if (claim.handle.IsOpen()) platform::DeleteHeldFile(claim.handle, path);
      if (claim.state == BlockState::LiveOwner) return;
    }
  }
}

void ResetCalendarBlockSeen() { g_blockSeen.store(false); }

}  // namespace tw

#include "index/locking/calendar_block.h"

#include <atomic>

#include "frame/path_safety.h"
#include "frame/settings.h"
#include "index/locking/block_settings.h"
#include "index/locking/block_wait.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/sleep.h"

namespace tw {
namespace {

std::atomic<bool> g_blockSeen{false};

platform::FileHandle CreateMarker(const std::string& path) {
  return platform::OpenFile(path, platform::Access::Write, platform::Share::None,
                            platform::Disposition::CreateNew);
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
    if (SecondPassedWhileBlocked(path)) ++retries;
    if (retries > limit) {
      if (!DeleteBlockFile(path)) return 0;
      block = CreateMarker(path);
      break;
    }
    block = CreateMarker(path);
  }
  block.Close();
  return 1;
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
    if (SecondPassedWhileBlocked(path)) ++seconds;
    if (seconds > ReadWaitTimeout()) DeleteBlockFile(path);
  }
}

void ResetCalendarBlockSeen() { g_blockSeen.store(false); }

}  // namespace tw

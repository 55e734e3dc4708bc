#include "notify/notify_clients.h"

#include <cstring>
#include <exception>
#include <limits>

#include "common/file_management.h"
#include "common/file_opener.h"
#include "common/text.h"
#include "frame/event_report.h"
#include "frame/path_safety.h"
#include "frame/store_paths.h"
#include "index/locking/block_settings.h"
#include "notify/activity_file.h"
#include "notify/notify_by_rpc.h"
#include "notify/notify_log.h"
#include "notify/notify_settings.h"
#include "notify/search_index_journal.h"
#include "platform/files.h"
#include "platform/mutex.h"
#include "platform/system_info.h"

namespace tw {
namespace {

constexpr size_t kComputerNameCapacity = 255;

std::string LocalServerName() {
  std::string name = platform::ComputerName();
  if (name.size() > kComputerNameCapacity) name.resize(kComputerNameCapacity);
  return name;
}

int32_t EffectiveLength(const char* data, int32_t length) {
  if (length >= 0) return length;
  const size_t text = data == nullptr ? 0 : std::strlen(data);
  return text >= static_cast<size_t>(std::numeric_limits<int32_t>::max())
             ? std::numeric_limits<int32_t>::max()
             : static_cast<int32_t>(text) + 1;
}

// Replaces the activity file by what the pass kept. Nothing is replaced
// when the new file could not be written whole: the unreachable listeners
// are dropped by a later pass instead of the reachable ones by this one.
void FinishRewrite(const std::string& activity, const std::string& temp, bool removed, size_t kept, bool written) {
  if (!removed || !written) {
    DeleteFileWithRetry(temp);
    return;
  }
  DeleteFileWithRetry(activity);
  if (kept == 0)
    DeleteFileWithRetry(temp);
  else
    MoveActivityFileWithRetry(temp, activity);
}

}  // namespace

std::string MailboxDirectory(const std::string& postoffice, const std::string& mailbox) {
  if (!IsSafeStoreName(mailbox)) return {};
  const std::string root = PostofficeRoot(postoffice);
  return root.empty() ? std::string() : root + "\\MAILROOT\\" + mailbox;
}

void NotifyClients(const std::string& mailboxDirectory, const std::string& folder, const char* data,
                   int32_t length) {
  try {
    BlockFileLock lock;
    NotifyClients_Ex(lock, mailboxDirectory, "", folder, data, length);
    if (lock.State() >= BlockFileLock::kHeld && lock.Release() != BlockFileLock::kFree) {
      NotifyLog(FormatText(kUnboundedText,
                           "TW-EXXXX: [Thread:%ld] ERROR BlockFileLock: Activity notification handler was able to "
                           "obtain a lock to the file (%s) but was unable to gracefully unlock it.\n",
                           static_cast<long>(platform::CurrentThreadId()), lock.Path().c_str()));
    }
  } catch (...) {
    ReportException("NotifyClients", kNotifyClientModule, __LINE__, std::current_exception());
    throw;
  }
}

void NotifyClients_Ex(BlockFileLock& lock, const std::string& mailboxDirectory, const std::string& serviceIdentity,
                      const std::string& folder, const char* data, int32_t length) {
  length = EffectiveLength(data, length);
  // An empty directory would put the files at the root of the file system.
  if (length == 0 || mailboxDirectory.empty()) return;
  const bool hasData = data != nullptr && data[0] != '\0' && length >= 1;
  const std::string notifierProtocol = ProtocolOfService(serviceIdentity);

  if (lock.State() != BlockFileLock::kHeld &&
      lock.Acquire(mailboxDirectory + "\\" + kActivityBlockFile, NotifyClientsTimeOut(),
                   StoreNotificationWaitTimeout()) == 0)
    return;

  if (hasData && MailboxSearchIndexingEnabled() != 0) JournalSearchIndexChange(NotificationDataText(data, length));

  const std::string activity = mailboxDirectory + "\\" + kActivityFile;
  const std::string temp = mailboxDirectory + "\\" + kActivityTempFile;
  if (platform::GetFileAttributes(activity) == platform::kInvalidAttributes) return;
  const std::string localServer = LocalServerName();
  const uint32_t secure = ActivityLockType() == 1 ? 1 : 0;

  std::deque<NotificationEntry> entries;
  {
    FileOpener in(activity, "r", secure);
    if (in.IsOpen()) entries = ReadActivityEntries(in.Stream());
  }

  FileOpener out(temp, "w", secure);
  if (!out.IsOpen()) {
    Print("problem with outfile\n");
    DeleteFileWithRetry(temp);
    return;
  }
  bool removed = false;
  bool written = true;
  size_t kept = 0;
  for (NotificationEntry& entry : entries) {
    entry.PerformNotification(folder, notifierProtocol, localServer, hasData, data, length);
    if (entry.result == 0 || entry.result == -1) {
      NotifyLog(FormatText(kUnboundedText,
                           "Warning: Removing orphaned connection from activity connection file. Server=%s, "
                           "Port=%ld\n",
                           entry.server.c_str(), static_cast<long>(entry.port)));
      removed = true;
      continue;
    }
    written = WriteActivityEntry(out.Stream(), entry, kept == 0) && written;
    ++kept;
  }
  written = std::fflush(out.Stream()) == 0 && written;
  written = out.Close() && written;
  FinishRewrite(activity, temp, removed, kept, written);
}

}  // namespace tw

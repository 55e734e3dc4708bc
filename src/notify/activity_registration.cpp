#include "notify/activity_registration.h"

#include <cstdio>
#include <vector>

#include "common/file_management.h"
#include "common/file_opener.h"
#include "index/locking/activity_block.h"
#include "index/locking/block_settings.h"
#include "notify/activity_file.h"
#include "notify/notify_settings.h"
#include "platform/files.h"
#include "platform/last_error.h"

namespace tw {
namespace {

bool TakeBlock(BlockFileLock& lock, const std::string& mailboxDirectory) {
  return !mailboxDirectory.empty() && lock.Acquire(mailboxDirectory + "\\" + kActivityBlockFile,
                                                   NotifyClientsTimeOut(), StoreNotificationWaitTimeout()) != 0;
}

uint32_t SecureMode() { return ActivityLockType() == 1 ? 1 : 0; }

bool WriteText(const std::string& path, const char* mode, const std::string& text) {
  FileOpener out(path, mode, SecureMode());
  if (!out.IsOpen()) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), out.Stream()) == text.size();
  return out.Close() && written;
}

}  // namespace

bool AddActivityEntry(const std::string& mailboxDirectory, const NotificationEntry& entry) {
  BlockFileLock lock;
  if (!TakeBlock(lock, mailboxDirectory)) return false;
  const std::string activity = mailboxDirectory + "\\" + kActivityFile;
  platform::FileInfo info;
  const bool hasLines = platform::GetFileInfo(activity, info) && info.size > 0;
  return WriteText(activity, "a", FormatActivityLine(entry, !hasLines));
}

bool RemoveActivityEntry(const std::string& mailboxDirectory, const NotificationEntry& entry) {
  BlockFileLock lock;
  if (!TakeBlock(lock, mailboxDirectory)) return false;
  const std::string activity = mailboxDirectory + "\\" + kActivityFile;
  const std::string temp = mailboxDirectory + "\\" + kActivityTempFile;
  const std::string mine = FormatActivityLine(entry, true);

  std::vector<std::string> kept;
  bool found = false;
  {
    FileOpener in(activity, "r", SecureMode());
    if (!in.IsOpen()) return in.LastError() == static_cast<int32_t>(platform::kErrorFileNotFound);
    // Whole lines, however long: lines of others are kept byte for byte.
    std::string line;
    for (int c = std::fgetc(in.Stream());; c = std::fgetc(in.Stream())) {
      if (c != EOF && c != '\n') {
        line += static_cast<char>(c);
        continue;
      }
      if (ActivityLineText(line) == mine)
        found = true;
      else if (!line.empty() || c != EOF)
        kept.push_back(line);
      line.clear();
      if (c == EOF) break;
    }
  }
  if (!found) return true;
  std::string text;
  for (size_t i = 0; i < kept.size(); ++i) text += (i == 0 ? "" : "\n") + kept[i];
  if (text.find_first_not_of("\r\n") == std::string::npos) return DeleteFileWithRetry(activity);
  return WriteText(temp, "w", text) && platform::ReplaceFile(temp, activity);
}

}  // namespace tw

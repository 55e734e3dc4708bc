#include <algorithm>
#include <cstdlib>
#include <memory>

#include "common/file_management.h"
#include "common/text.h"
#include "frame/event_report.h"
#include "frame/settings.h"
#include "index/cache/loaded_index_store.h"
#include "index/locking/index_file_blocking.h"
#include "index/file/index_save.h"
#include "index/locking/mutex_lock.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/messages/pending_deliveries.h"
#include "index/file/store_index_serialiser.h"
#include "notify/notify_clients.h"
#include "platform/files.h"

namespace tw {
namespace {

constexpr uint32_t kNotifyOnOpen = 4;

bool IsInbox(std::string folder) {
  std::replace(folder.begin(), folder.end(), '/', '\\');
  if (!folder.empty() && folder[0] == '\\') folder.erase(0, 1);
  return EqualsNoCase(folder, "Inbox");
}

// n of "_<n>.NEW", by atol.
long MarkerNumber(const std::string& name) { return std::atol(name.c_str() + 1); }

int32_t Load(STOREINDEXTYPE& record, uint32_t mode) {
  StoreIndexMutexLock lock(LockFieldsOf(record));
  SORTEDSTOREINDEXTYPE& index = IndexOf(record);
  index.UnInit();
  CurrentItemOf(record).Reset();
  if (record.folderPath[0] == '\0') {
    Trace(1, "StoreIndex_Open:: (Error) Attempted to open a blank folder name\n");
    return 0;
  }
  record.changed = 0;
  record.indexFileSize = 0;
  index.folderPath = record.folderPath;
  index.folderType = record.folderType;
  index.postoffice = record.postoffice;
  index.mailbox = record.mailbox;
  index.loadOptions = IndexLoadOptions{false, false, 0, mode != 5, false, true};
  if (!index.EnsureLoaded(3)) {
    Log(std::string("StoreIndex_Open::Error opening store index in: ") + record.folderPath + "\n");
    return 0;
  }
  Trace(1, std::string("StoreIndex_Open::Loaded index for folder ") + record.folderPath);
  platform::FileInfo info;
  record.indexFileSize = platform::GetFileInfo(IndexFilePath(record), info) ? static_cast<uint32_t>(info.size) : 0;
  record.itemCount = static_cast<uint32_t>(index.Count());
  record.lastUid = index.LastUid();
  return 1;
}

// Under the folder's block: a record with nothing loaded takes the index
// this process kept of the folder, when the file is still as it was saved.
bool AdoptKeptIndex(STOREINDEXTYPE& record, uint32_t mode) {
  StoreIndexMutexLock lock(LockFieldsOf(record));
  if (IndexOf(record).LoadLevel() > 0 || LoadedIndexStore::Process().Capacity() == 0) return false;
  const std::string indexFile = IndexFilePath(record);
  platform::FileStamp stamp;
  if (!platform::GetFileStamp(indexFile, stamp)) return false;
  std::unique_ptr<SORTEDSTOREINDEXTYPE> kept = LoadedIndexStore::Process().TakeCurrent(indexFile, stamp);
  if (kept == nullptr) return false;
  CurrentItemOf(record).Reset();
  AdoptIndex(record, std::move(kept));
  SORTEDSTOREINDEXTYPE& index = IndexOf(record);
  index.loadOptions = IndexLoadOptions{false, false, 0, mode != 5, false, true};
  index.savedStamp = stamp;
  record.changed = 0;
  record.indexFileSize = static_cast<uint32_t>(stamp.size);
  record.itemCount = static_cast<uint32_t>(index.Count());
  record.lastUid = index.LastUid();
  Trace(1, std::string("StoreIndex_Open::Using kept index for folder ") + record.folderPath);
  return true;
}

bool Reusable(STOREINDEXTYPE& record) {
  platform::FileInfo info;
  const uint64_t remembered = IndexOf(record).indexFileTime;
  return remembered != 0 && IndexOf(record).LoadLevel() > 0 && platform::GetFileInfo(IndexFilePath(record), info) && info.lastWriteTime == remembered;
}

}  // namespace

std::string MailboxDirectoryOfPath(const std::string& folderPath) {
  const size_t root = FindNoCase(folderPath, "MAILROOT\\");
  if (root == std::string::npos) return {};
  const size_t start = root + 9;
  const size_t end = folderPath.find_first_of("\\/", start);
  return end == std::string::npos ? folderPath : folderPath.substr(0, end);
}

uint32_t TakeDeliveryCounters(const std::string& mailboxDirectory) {
  platform::FindHandle find;
  platform::FindData data;
  long highest = 0;
  // The highest counter's own name: "_007.NEW" counts 7 but is not "_7.NEW",
  // and every counter file is to go.
  std::string highestName;
  for (bool more = find.First(mailboxDirectory + "\\_*.NEW", data); more; more = find.Next(data)) {
    const long n = MarkerNumber(data.name);
    if (n <= highest) {
      platform::DeleteFile(mailboxDirectory + "\\" + data.name);
      continue;
    }
    if (highest > 0) platform::DeleteFile(mailboxDirectory + "\\" + highestName);
    highest = n;
    highestName = data.name;
  }
  if (highest > 0) platform::DeleteFile(mailboxDirectory + "\\" + highestName);
  return highest > static_cast<long>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(highest);
}

bool TakeDeliveryMarkers(const std::string& mailboxDirectory) { return TakeDeliveryCounters(mailboxDirectory) > 0; }

void NotifyFolderCommit(const std::string& mailboxDirectory, const std::string& folder) {
  NotifyClients(mailboxDirectory, folder, "COMMIT", 255);
}

int32_t OpenRecord(STOREINDEXTYPE& record, uint32_t mode) {
  if (mode == 6) mode = 1;
  if (record.folderPath[0] == '\0' || !IsDirectory(record.folderPath)) return 0;
  const std::string path = record.folderPath;
  const bool notifyMode = Settings().storeEventNotificationMode == kNotifyOnOpen;
  bool notified = false;

  if (mode == 1 && notifyMode) {
    NotifyFolderCommit(MailboxDirectoryOfPath(path), record.folder);
    notified = true;
  }
  if (mode == 1 || mode == 4) {
    bool dirty = false;
    if (record.folderType == kFolderTypeMail && IsInbox(record.folder) && !notifyMode) {
      const std::string mailbox = MailboxDirectoryOfPath(path);
      dirty = !mailbox.empty() && TakeDeliveryMarkers(mailbox);
    }
    const bool calendarLike = record.folderType == kFolderTypeCalendar || record.folderType == kFolderTypeTasks;
    bool pending = false;
    if (!calendarLike) {
      if (platform::DeleteFileAllCases(InFolder(path, "_CHANGE.DTY"))) dirty = true;
      if (!FileExists(InFolder(path, "_INDEX.XML"))) dirty = true;
      pending = record.folderType == kFolderTypeMail && HasPendingDeliveries(path);
    }
    if (notifyMode && (dirty || pending) && !notified) NotifyFolderCommit(MailboxDirectoryOfPath(path), record.folder);

    uintptr_t handle = 0;
    const std::string block = BlockFilePath(record);
    if (WaitForAccessToIndexFileEx(block, kHeldBlock, &handle) != 0) {
      bool rebuilt = false;
      {
        StoreIndexMutexLock lock(LockFieldsOf(record));
        // A delivery we waited for has settled its own line meanwhile; one
        // that was killed has not, and its message is indexed now.
        if (pending && HasPendingDeliveries(path)) dirty = true;
        if (dirty && !calendarLike) {
          ScanRecord(record, kScanBlockHeld);
          SaveIndexBlockHeld(IndexOf(record), path, record.folderType);
          Trace(1, "StoreIndex_Open::Performing StoreIndex_Scan(TW_STOREINDEX_CHECKDIRTY) on folder " + path + "\n");
          rebuilt = true;
        }
      }
      const bool adopted = !rebuilt && AdoptKeptIndex(record, mode);
      UnBlockIndexFileAccessEx(block, kHeldBlock, &handle);
      if (rebuilt) return Load(record, mode);
      if (adopted) return 1;
    }
  } else if (mode == 2) {
    {
      StoreIndexMutexLock lock(LockFieldsOf(record));
      ScanRecord(record, kScanExplicit);
      Trace(1, "StoreIndex_Open::Performing StoreIndex_Scan(TW_STOREINDEX_REINDEX) on folder " + path + "\n");
    }
    return Load(record, mode);
  } else if (mode == 5) {
    return Load(record, mode);
  }

  if (Reusable(record)) {
    Trace(1, "StoreIndex_Open::Using cached index for folder " + path);
    return 2;
  }
  return Load(record, mode);
}

}  // namespace tw

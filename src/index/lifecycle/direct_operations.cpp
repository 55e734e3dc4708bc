#include "index/lifecycle/direct_operations.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "common/file_management.h"
#include "common/text.h"
#include "frame/event_report.h"
#include "frame/store_paths.h"
#include "index/lifecycle/flag_change.h"
#include "index/messages/folder_cache_files.h"
#include "index/locking/index_file_blocking.h"
#include "index/lifecycle/index_removal.h"
#include "index/file/index_salvage.h"
#include "index/file/index_save.h"
#include "index/messages/message_item.h"
#include "index/messages/pending_deliveries.h"
#include "index/locking/mutex_lock.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/file/serialisation_settings.h"
#include "index/file/store_index_serialiser.h"
#include "index/cache/loaded_index_store.h"
#include "platform/files.h"

namespace tw {
namespace {

constexpr size_t kMaxFlagEntry = 254;

std::string Formatted(const char* format, const std::string& path) {
  char text[1200];
  std::snprintf(text, sizeof text, format, path.c_str());
  return text;
}

// True when the folder holds a message file other than those arriving.
bool HoldsOtherMessageFiles(const std::string& folder, const std::vector<std::string>& arriving) {
  platform::FindHandle find;
  platform::FindData data;
  for (bool more = find.First(InFolder(folder, "*.MAI"), data); more; more = find.Next(data)) {
    if ((data.attributes & platform::kAttrDirectory) != 0 || data.name.empty()) continue;
    if (data.name[0] == '_' || data.name[0] == '.') continue;
    if (std::find(arriving.begin(), arriving.end(), data.name) == arriving.end()) return true;
  }
  return false;
}

// The folder's counters or a backup show that it had an index.
bool HadIndex(const std::string& folder) {
  FolderDetails counters;
  ReadFolderDatFile(InFolder(folder, kFolderDatFile), counters);
  return counters.counters[FolderDetails::kLastUid] != 0 || FileExists(InFolder(folder, "_index.xml.bak"));
}

std::string JoinIds(const std::vector<std::string>& ids) {
  std::string joined;
  for (const std::string& id : ids) joined += (joined.empty() ? "" : ",") + id;
  return joined;
}

bool HoldsAnyOf(SORTEDSTOREINDEXTYPE& index, const std::vector<std::string>& ids) {
  return std::any_of(ids.begin(), ids.end(), [&](const std::string& id) { return index.FindLoadedById(id) != nullptr; });
}

// A record private to one call: no lock object, nothing shared.
struct DirectRecord {
  std::unique_ptr<STOREINDEXTYPE> record = std::make_unique<STOREINDEXTYPE>();
  bool blockHeld = false;
  bool callerHoldsBlock = false;  // opened with kBlockAlreadyHeld: never released here
  // The index file was missing while message files lay in the folder: the
  // folder is marked dirty and nothing is written that would leave them out.
  bool unindexedMessages = false;
  FolderDetails counters;  // _FOLDER.DAT as it was before this call
  bool saved = false;      // this call wrote the index file

  DirectRecord() {
    std::memset(record.get(), 0, sizeof *record);
    IndexOf(*record);
  }
  ~DirectRecord() {
    ReleaseBlock();
    ReleaseRecord(*record);
  }
  STOREINDEXTYPE& operator*() { return *record; }
  SORTEDSTOREINDEXTYPE& Index() { return IndexOf(*record); }
  std::string Path() const { return record->folderPath; }

  void ReleaseBlock() {
    if (!blockHeld) return;
    if (!callerHoldsBlock) UnBlockIndexFileAccessEx(BlockFilePath(*record), kHeldBlock, &record->blockHandle);
    blockHeld = false;
  }

  // `arriving`: messages about to be indexed; `touched`: the only items a
  // full-level call reads or changes.
  bool OpenForChange(const std::string& postoffice, const std::string& mailbox, const std::string& folder,
                     uint32_t waitMode, int32_t level, const std::vector<std::string>& arriving = {},
                     const std::vector<std::string>& touched = {}) {
    STOREINDEXTYPE& r = *record;
    SetRecordText(r.postoffice, postoffice);
    SetRecordText(r.mailbox, mailbox);
    SetRecordText(r.folder, folder);
    r.changed = 0;
    r.reserved[0] = '\0';
    r.folderPath[0] = '\0';
    r.lastUid = 0;
    SetRecordPaths(r);
    if (r.folderPath[0] == '\0') return false;
    if (!mailbox.empty()) NotifyFolderCommit(PostofficeRoot(postoffice) + "\\MAILROOT\\" + mailbox, folder);
    if (WaitForAccessToIndexFileEx(BlockFilePath(r), waitMode, &r.blockHandle) == 0) return false;
    blockHeld = true;
    callerHoldsBlock = waitMode == kBlockAlreadyHeld;
    platform::FileStamp stamp;
    const bool hadIndexFile = platform::GetFileStamp(IndexFilePath(r), stamp);
    if (hadIndexFile) {
      // A message indexed again goes the way of a header-only load, which
      // cannot see that it is there: the outcome never depends on what
      // this process happens to hold.
      auto loaded = LoadedIndexStore::Process().TakeCurrent(IndexFilePath(r), stamp);
      if (loaded && !HoldsAnyOf(*loaded, arriving)) {
        AdoptIndex(r, std::move(loaded));
      } else if (level >= kLevelFull && !touched.empty() && UseStreamDeserialisation() && UseStreamSerialisation() &&
                 !LoadedIndexStore::Process().WorthKeeping(IndexFilePath(r))) {
        // A process that meets the folder once reads only the items it
        // touches, and the save copies the rest of the file as it lies. Only
        // the stream serialisers read and write part of a file.
        Index().keyFilter = JoinIds(touched);
      }
    }
    if (!hadIndexFile && r.folderType == kFolderTypeMail && HoldsOtherMessageFiles(r.folderPath, arriving)) {
      // The next open indexes them. A folder that had an index has lost it:
      // nothing is written until that rebuild. A new folder may just be
      // receiving its first messages at once: the delivery goes on.
      WriteChangeFlagIn(r.folderPath);
      if (arriving.empty() || HadIndex(r.folderPath)) {
        unindexedMessages = true;
        ReleaseBlock();
        return false;
      }
    }
    SORTEDSTOREINDEXTYPE& index = Index();
    index.folderPath = r.folderPath;
    index.folderType = r.folderType;
    index.postoffice = postoffice;
    index.mailbox = mailbox;
    index.loadOptions = IndexLoadOptions{false, true, 0, false, false, true};
    if (!index.EnsureLoaded(level)) {
      ReleaseBlock();
      return false;
    }
    // Read before anything here overwrites it: no new message gets a UID the
    // folder handed out before, also when its index was lost or restored.
    ReadFolderDatFile(FolderDatPath(), counters);
    RaiseUidFloor(index, counters.counters[FolderDetails::kLastUid], kFolderDatFile, r.folderPath);
    if (!hadIndexFile) RaiseUidFloor(index, BackupIndexLastUid(r.folderPath), "_index.xml.bak", r.folderPath);
    if (index.LastUid() < index.uidFloor) index.SetLastUid(index.uidFloor);
    r.lastUid = index.LastUid();
    // What this call writes back remembers the UIDs handed out so far.
    uint32_t& lastUidWord = counters.counters[FolderDetails::kLastUid];
    if (lastUidWord < r.lastUid || lastUidWord >= kUidFloorLimit) lastUidWord = r.lastUid;
    return true;
  }

  // Puts an index this call saved back into the process's store, under the
  // block still held, stamped so that any later write shows. An index not
  // saved here may differ from its file and is dropped.
  void KeepLoadedIndex() {
    SORTEDSTOREINDEXTYPE& index = Index();
    if (!saved || !blockHeld || unindexedMessages || index.LoadLevel() < kLevelFull || !index.keyFilter.empty()) return;
    if (LoadedIndexStore::Process().Capacity() == 0) return;
    const std::string indexFile = IndexFilePath(*record);
    platform::FileStamp stamp;
    if (!platform::StampFileWrittenNow(indexFile, stamp)) return;
    RememberIndexFile(index, indexFile);
    index.FreeSavedRemovals();
    LoadedIndexStore::Process().Keep(indexFile, TakeIndex(*record), stamp);
  }

  std::string FolderDatPath() const {
    return InFolder(record->folderPath, "_FOLDER.DAT");
  }

  // Commits (when asked) and writes the counters; the block stays held for
  // the caller's size-file updates. 1 when the commit succeeded or was not
  // asked for.
  int32_t SaveAndCommit(bool commit, const FolderDetails* counters) {
    STOREINDEXTYPE& r = *record;
    if (!commit) return 1;
    const std::string path = Path();
    if (!FileExists(path)) {
      try {
        CreateDirectoryTree(path);
      } catch (...) {
      }
    }
    Trace(1, Formatted("StoreIndex_SaveAndClose::Committing Index for folder %s\n", path));
    SORTEDSTOREINDEXTYPE& index = Index();
    platform::FileInfo info;
    const bool changedOnDisk =
        platform::GetFileInfo(IndexFilePath(r), info) && info.lastWriteTime != index.indexFileTime;
    bool ok = SaveIndexBlockHeld(index, path, r.folderType);
    saved = ok;
    if (changedOnDisk) {
      ok = false;
      Trace(1, Formatted("StoreIndex_SaveAndClose::Failed to commit index for folder %s. Index was changed while "
                         "being transacted. Folder will be marked as dirty.\n",
                         path));
    }
    if (!ok) {
      Trace(1, Formatted("StoreIndex_SaveAndClose::Failed to commit index for folder %s. Folder will be marked as "
                         "dirty.\n",
                         path));
      WriteChangeFlagIn(path);
      return 0;
    }
    if (ContainsNoCase(r.folder, "$FILEROOT")) return 1;
    const std::string datPath =
        PostofficeRoot(r.postoffice) + "\\MAILROOT\\" + r.mailbox + "\\" + r.folder + "\\_FOLDER.DAT";
    if (counters != nullptr) {
      WriteFolderDatFile(datPath, *counters);
    } else if (index.LoadLevel() >= kLevelFull && index.keyFilter.empty()) {
      WriteFolderDatFile(datPath, index.GetFolderDetails());
    }
    Trace(1, Formatted("StoreIndex_SaveAndClose::SetCacheDetailsToFile for folder %s\n", path));
    return 1;
  }
};

bool InFolderWords(const std::string& list, std::string_view word) { return ContainsNoCase(list, word); }

}  // namespace

InsertOutcome InsertMessageFiles(const std::string& postoffice, const std::string& mailbox, const std::string& folder,
                                 const std::string& ids, const std::string& flags, bool callerHoldsBlock) {
  DirectRecord direct;
  if (InFolderWords(flags, "$TWGROUP")) (*direct).folderType = kFolderTypeGroups;
  const std::vector<std::string> idList = SplitIdList(ids);
  const uint32_t waitMode = callerHoldsBlock ? kBlockAlreadyHeld : 1;
  if (!direct.OpenForChange(postoffice, mailbox, folder, waitMode, kLevelHeader, idList)) {
    // The message lies in a folder marked for a rebuild, which indexes it.
    if (direct.unindexedMessages) return InsertOutcome::Indexed;
    if (!direct.Path().empty()) WriteChangeFlagIn(direct.Path());
    return InsertOutcome::Failed;
  }
  // All or nothing: a UID given twice would name two messages, and a folder
  // marked for a rebuild would only run out again.
  if (direct.Index().LastUid() > kHighestUid - std::min<size_t>(idList.size(), kHighestUid)) {
    Log(Formatted("StoreIndex: no UID left in %s (LASTUID 4294967294 reached); nothing was indexed. The folder's "
                  "messages must move to a new folder.\n",
                  direct.Path()));
    return InsertOutcome::UidsExhausted;
  }
  FolderDetails& counters = direct.counters;
  const std::vector<std::string> flagList = SplitPositionalList(flags);
  // Seen is counted from each message's own flags: a list whose entries
  // differ (an import carries one entry per message) must not count every
  // message seen because one of them is.
  const PropertyKey flagKey = PropertyRegistry::Process().Lookup(kPropFlagStatus);
  uint64_t kilobytes = 0;
  bool lastInserted = false;
  for (size_t i = 0; i < idList.size(); ++i) {
    const std::string initial = i < flagList.size() && flagList[i].size() <= kMaxFlagEntry ? flagList[i] : "";
    IndexItemPropertyContainer* item =
        IndexMessageFile(direct.Index(), direct.Path(), idList[i], 1, initial.c_str(), false);
    lastInserted = item != nullptr;
    bool seen = false;
    if (item != nullptr) {
      kilobytes += static_cast<uint64_t>(RoundedKilobytes(static_cast<uint32_t>(item->GetNumber("SIZE"))));
      item->Clear(kPropStatus);
      seen = ContainsNoCase(item->GetText(flagKey), "SEEN");
    }
    (*direct).lastUid = direct.Index().LastUid();
    counters.counters[FolderDetails::kLastUid] = (*direct).lastUid;
    ++counters.counters[FolderDetails::kItems];
    ++counters.counters[10];
    ++counters.counters[9];
    if (seen) ++counters.counters[FolderDetails::kSeen];
  }
  const int32_t committed = direct.SaveAndCommit(lastInserted, &counters);
  if (committed != 1) return InsertOutcome::Failed;
  if (kilobytes > 0) AddToSizeFile(postoffice, mailbox, static_cast<int32_t>(kilobytes), folder);
  ForgetPendingDeliveries(direct.Path(), idList);
  direct.KeepLoadedIndex();
  return InsertOutcome::Indexed;
}

int32_t DirectInsertItems(const std::string& postoffice, const std::string& mailbox, const std::string& folder,
                          const std::string& ids, const std::string& flags) {
  return InsertMessageFiles(postoffice, mailbox, folder, ids, flags, false) == InsertOutcome::Indexed ? 1 : 0;
}

int32_t DirectUpdateItems(const std::string& postoffice, const std::string& mailbox, const std::string& folder,
                          const std::string& ids, const std::string& change) {
  DirectRecord direct;
  const std::vector<std::string> idList = SplitIdList(ids);
  if (!direct.OpenForChange(postoffice, mailbox, folder, 0, kLevelFull, {}, idList)) return 0;
  FolderDetails& counters = direct.counters;
  const std::set<std::string, std::less<>> wanted(idList.begin(), idList.end());
  const PropertyKey flagKey = PropertyRegistry::Process().Lookup(kPropFlagStatus);
  bool anyChanged = false;
  for (const std::string& id : wanted) {
    IndexItemPropertyContainer* item = direct.Index().FindById(id);
    if (item == nullptr || change.empty()) continue;
    if (StartsWithNoCase(change, "SIZE=")) {
      item->SetText("SIZE", change.substr(5));
      anyChanged = true;
    } else {
      std::string flags = item->GetText(flagKey);
      if (ApplyFlagChange(flags, change, &counters)) {
        IndexItem handle(item, false);
        handle.Set(kPropFlagStatus, flags);
        anyChanged = true;
      }
    }
    RefreshModifiedDate(*item, direct.Path());
  }
  // The commit writes the counters this call keeps, as the call does after
  // it: counting them anew from 100,000 items would only be overwritten.
  const int32_t committed = direct.SaveAndCommit(anyChanged, &counters);
  WriteFolderDatFile(direct.FolderDatPath(), counters);
  direct.KeepLoadedIndex();
  return committed;
}

int32_t DirectRemoveItems(const std::string& postoffice, const std::string& mailbox, const std::string& folder,
                          const std::string& ids) {
  DirectRecord direct;
  if (!direct.OpenForChange(postoffice, mailbox, folder, 1, kLevelFull, {}, SplitIdList(ids))) return 0;
  FolderDetails& counters = direct.counters;
  uint64_t bytes = 0;
  RemoveFromIndex(direct.Index(), ids, &bytes, &counters);
  const int32_t committed = direct.SaveAndCommit(true, &counters);
  const int32_t kilobytes = RoundedKilobytes(bytes);
  if (kilobytes > 0) AddToSizeFile(postoffice, mailbox, -kilobytes, folder);
  WriteFolderDatFile(direct.FolderDatPath(), counters);
  direct.KeepLoadedIndex();
  return committed;
}

}  // namespace tw

// Opening, closing and saving folders through the index cache.
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "folders/cache/index_cache.h"
#include "folders/cache/record_access.h"
#include "folders/item_kind_rules.h"
#include "folders/items/item_calls.h"
#include "folders/items/item_binding.h"
#include "folders/items/thread_items.h"
#include "folders/properties/property_map.h"
#include "frame/event_report.h"
#include "frame/library_lifecycle.h"
#include "frame/seams.h"
#include "frame/store_paths.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/locking/mutex_lock.h"
#include "index/messages/message_item.h"

namespace tw {
namespace {

constexpr uint32_t kOpenCheckingForNewMail = 1;
constexpr int32_t kLevelFull = 3;

std::string Bounded(std::string_view text) { return std::string(text.substr(0, kItemLocationSize - 1)); }

void TakeNames(TLSStoreIndex& state, std::string_view postoffice, std::string_view mailbox, std::string_view folder) {
  state.postoffice = Bounded(postoffice);
  state.mailbox = Bounded(mailbox);
  state.folder = Bounded(folder);
}

// Under IndexOpenLock: a record the cache has just made learns which folder
// it is.
void GiveIdentity(STOREINDEXTYPE& record, const TLSStoreIndex& state, uint32_t folderType) {
  SetRecordText(record.postoffice, state.postoffice);
  SetRecordText(record.mailbox, state.mailbox);
  SetRecordText(record.folder, state.folder);
  record.folderType = folderType;
  SetRecordPaths(record);
}

// A thread that moves to another folder lets the previous one go whatever
// its count: it can name only one open index, so outer nested opens of the
// old one could never be closed.
void LetGoOfOpenIndex(TLSStoreIndex& state, ThreadItems& items) {
  DropAllHolds(items);
  state.openIndex = nullptr;
}

// Under IndexOpenLock: brings the record up to date for the thread that
// holds it now. Another holder's unsaved changes are never rebuilt over: a
// record that holds them is used as it is (the set path marks the folder
// with _CHANGE.DTY, which would otherwise make this open rebuild from the
// files). A reload under other holders points their current items at the
// reloaded items of the same ID; their walks go on by UID.
uint32_t LoadForHolder(CachedRecord& entry, ThreadItems& self) {
  STOREINDEXTYPE& record = entry.record;
  RecordChanging changing(entry);
  const bool shared = entry.holds.size() > 1;
  if (shared && record.changed != 0) return 1;
  std::vector<std::pair<ThreadItems*, std::string>> bound;
  ForEachOtherHolder(entry, self, [&](ThreadItems& other) {
    if (const IndexItemPropertyContainer* item = other.current.Container())
      bound.emplace_back(&other, item->GetText(kPropId));
  });
  const int32_t opened = OpenRecord(record, kOpenCheckingForNewMail);
  if (opened != 2) {
    // A load, and a load that failed half way, freed the items the other
    // holders stood on.
    entry.written.clear();
    SORTEDSTOREINDEXTYPE& index = IndexOf(record);
    for (auto& [other, id] : bound) other->current.Attach(index.FindLoadedById(id), false);
  }
  return opened == 0 ? 0 : 1;
}

uint32_t OpenCalendarFile(TLSStoreIndex& state, std::string_view folder) {
  CalendarFileRules& calendar = CalendarFile();
  if (calendar.close != nullptr) calendar.close(state);
  if (calendar.open == nullptr) return 0;
  const std::string source = ContainsNoCase(folder, "http://")
                                 ? std::string(folder)
                                 : PostofficeRoot(state.postoffice) + "\\MAILROOT\\" + state.mailbox + "\\" +
                                       std::string(folder);
  return calendar.open(state, source);
}

// Before the index is saved, every item changed through the item calls is
// written back: its kind's own file, then its MODIFIEDDATE.
void WriteBackChangedItems(CachedRecord& entry) {
  STOREINDEXTYPE& record = entry.record;
  if (record.changed != 1 || IndexOf(record).LoadLevel() <= 0) {
    entry.written.clear();
    return;
  }
  ItemKindRules* rules = KindRules(record.folderType);
  for (IndexItemPropertyContainer* item : entry.written) {
    if (!item->Has(kPropStatus)) continue;
    item->Clear(kPropStatus);
    if (rules != nullptr && rules->writeItem != nullptr) {
      IndexItem handle(item, false);
      handle.kind = record.folderType;
      rules->writeItem(record, handle);
    }
    RefreshModifiedDate(*item, record.folderPath);
  }
  entry.written.clear();
}

// An item record's index is never saved: its items are written back to
// their own files one by one.
void Commit(CachedRecord& entry) {
  STOREINDEXTYPE& record = entry.record;
  RecordChanging changing(entry);
  WriteBackChangedItems(entry);
  if (entry.itemRecord) {
    record.changed = 0;
    return;
  }
  CommitRecord(record);
}

void ReleaseWithReset(TLSStoreIndex& state) {
  if (ThreadItems* items = ExistingItemsOf(state)) CacheRelease(state, *items, true);
}

void ReleaseEntirely(TLSStoreIndex& state) {
  if (ThreadItems* items = ExistingItemsOf(state)) LetGoOfOpenIndex(state, *items);
}

void ForgetCurrentItem(TLSStoreIndex& state) {
  ThreadItems* items = ExistingItemsOf(state);
  if (items == nullptr) return;
  if (items->entry == nullptr) return ClearCurrentItem(*items);
  RecordChanging changing(*items->entry);
  ClearCurrentItem(*items);
}

void FreeCalendarReader(TLSStoreIndex& state) {
  if (CalendarFile().close != nullptr) CalendarFile().close(state);
}

}  // namespace

uint32_t OpenFolder(const char* postoffice, const char* mailbox, const char* folder, uint32_t folderType,
                    int32_t mode) {
  if (postoffice == nullptr || mailbox == nullptr || folder == nullptr) return 0;
  TLSStoreIndex* state = ThreadStoreIndex();
  ThreadItems* items = state != nullptr ? ItemsOf(*state) : nullptr;
  if (items == nullptr) return 0;
  TakeNames(*state, postoffice, mailbox, folder);
  items->current.kind = folderType;
  CopyText(items->current.folderName, kItemLocationSize, folder);
  if (folderType == kFolderTypeCalendarFile) return OpenCalendarFile(*state, folder);

  const std::string key = FolderCacheKey(*state, postoffice, mailbox, folder);
  if (state->openIndex != nullptr) {
    if (key == state->cacheKey) {
      RaiseOpenCount(*items);
      return 2;
    }
    LetGoOfOpenIndex(*state, *items);
  }
  state->cacheKey = key;
  platform::RecursiveMutex* openLock = EnsureIndexOpenLock();
  const uint32_t acquired = CacheAcquire(*state, *items, false);
  if (openLock == nullptr || items->entry == nullptr) return 0;
  uint32_t result = 0;
  {
    MutexLock opening(openLock, platform::kInfinite);
    if (acquired == kCacheCreated) GiveIdentity(items->entry->record, *state, folderType);
    if (mode == kOpenWithoutLoad) return 2;
    result = LoadForHolder(*items->entry, *items);
  }
  // Released outside IndexOpenLock: the cache lock comes first.
  if (result == 0) CacheRelease(*state, *items, false);
  return result;
}

uint32_t OpenItem(std::string_view postoffice, std::string_view mailbox, std::string_view folder, std::string_view id,
                  uint32_t folderType) {
  TLSStoreIndex* state = ThreadStoreIndex();
  ThreadItems* items = state != nullptr ? ItemsOf(*state) : nullptr;
  if (items == nullptr) return 0;
  TakeNames(*state, postoffice, mailbox, folder);
  items->current.kind = folderType;
  const std::string key = ItemCacheKey(*state, postoffice, mailbox, folder, id);
  if (state->openIndex != nullptr) {
    bool loaded = false;
    if (key == state->cacheKey) {
      RecordReading reading(*items->entry, *items);
      loaded = IndexOf(*state->openIndex).LoadLevel() > 0;
    }
    if (loaded) {
      DebugPrint("StoreFolder_OpenItem::Piggybacking Index\n");
      return 2;
    }
    DebugPrint(
        "StoreFolder_OpenItem::Thread superceeded current index (folder change or thread change). Closing Original\n");
    LetGoOfOpenIndex(*state, *items);
    state->cacheKey.clear();
  }
  platform::RecursiveMutex* openLock = EnsureIndexOpenLock();
  if (openLock == nullptr) return 1;
  state->cacheKey = key;
  const uint32_t acquired = CacheAcquire(*state, *items, true);
  {
    MutexLock opening(openLock, platform::kInfinite);
    if (items->entry == nullptr) {
      DebugPrint("StoreFolder_OpenItem::Unable to LoadEmptyIndex");
      return 0;
    }
    STOREINDEXTYPE& record = items->entry->record;
    RecordChanging changing(*items->entry);
    if (acquired == kCacheCreated) {
      GiveIdentity(record, *state, folderType);
      IndexOf(record).UnInit();
      IndexOf(record).SetLoadLevel(kLevelFull);
    }
    CopyText(items->current.postoffice, kItemLocationSize, postoffice);
    CopyText(items->current.mailbox, kItemLocationSize, mailbox);
    CopyText(items->current.folderName, kItemLocationSize, folder);
    CopyText(items->current.folderPath, kItemLocationSize, record.folderPath);
  }
  DebugPrint("StoreFolder_OpenItem::Loading Item from Backend into CurrentFolderItem");
  if (folderType == kKindContacts) {
    ItemKindRules* rules = KindRules(kKindContacts);
    STOREINDEXTYPE& record = items->entry->record;
    RecordChanging changing(*items->entry);
    if (rules->loadItem != nullptr && IsSafeItemId(id)) rules->loadItem(record, items->current, id);
  }
  return 1;
}

uint32_t CloseFolder() {
  TLSStoreIndex* state = ThreadStoreIndex();
  ThreadItems* items = state != nullptr ? ItemsOf(*state) : nullptr;
  if (items == nullptr) return 1;
  if (items->current.kind == kFolderTypeCalendarFile) {
    FreeCalendarReader(*state);
    return 1;
  }
  CacheRelease(*state, *items, false);
  return 1;
}

uint32_t FindClose() {
  TLSStoreIndex* state = ThreadStoreIndex();
  if (state != nullptr) ReleaseWithReset(*state);
  return 1;
}

uint32_t SaveFolder() {
  TLSStoreIndex* state = ThreadStoreIndex();
  ThreadItems* items = state != nullptr ? ExistingItemsOf(*state) : nullptr;
  if (items != nullptr && items->entry != nullptr) Commit(*items->entry);
  return 1;
}

uint32_t SaveAllFolders() {
  ForEachCachedRecord([](CachedRecord& entry) { Commit(entry); });
  return 1;
}

void InstallItemAccessSeams() {
  Seams().releaseThreadIndexWithReset = &ReleaseWithReset;
  Seams().releaseOpenIndex = &ReleaseEntirely;
  Seams().clearCurrentItem = &ForgetCurrentItem;
  Seams().freeCalendarReader = &FreeCalendarReader;
}

namespace {
__attribute__((constructor(101))) void InstallAtLoad() { InstallItemAccessSeams(); }
}  // namespace

}  // namespace tw

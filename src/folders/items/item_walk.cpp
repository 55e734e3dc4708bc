// Walking and selecting the items of the thread's open folder.
#include "common/text.h"
#include "folders/cache/record_access.h"
#include "folders/item_kind_rules.h"
#include "folders/items/item_binding.h"
#include "folders/items/item_calls.h"
#include "index/lifecycle/store_index_record.h"
#include "index/locking/mutex_lock.h"

namespace tw {
namespace {

constexpr int32_t kLevelFull = 3;

uint32_t ReadCalendarEvent(bool first) {
  TLSStoreIndex* state = ExistingThreadStoreIndex();
  CalendarFileRules& calendar = CalendarFile();
  if (state == nullptr || calendar.readEvent == nullptr) return 0;
  return calendar.readEvent(*state, first);
}

bool OnCalendarFile() {
  TLSStoreIndex* state = ExistingThreadStoreIndex();
  ThreadItems* items = state != nullptr ? ExistingItemsOf(*state) : nullptr;
  return items != nullptr && items->current.kind == kFolderTypeCalendarFile;
}

// The walk stands on `item` (none: the walk is over).
uint32_t StandOn(ThreadItems& items, IndexItemPropertyContainer* item) {
  if (item == nullptr) {
    items.current.Reset();
    items.walking = false;
    return 0;
  }
  items.current.Attach(item, false);
  items.cursorUid = SORTEDSTOREINDEXTYPE::ItemUid(*item);
  items.walking = true;
  return 1;
}

}  // namespace

uint32_t FindFirstItem() {
  if (OnCalendarFile()) return ReadCalendarEvent(true);
  ThreadItems* items = HeldItems();
  if (items == nullptr) return 0;
  STOREINDEXTYPE& record = items->entry->record;
  RecordChanging changing(*items->entry);
  items->current.kind = record.folderType;
  SORTEDSTOREINDEXTYPE& index = IndexOf(record);
  if (index.LoadLevel() <= 0 || !index.EnsureLoaded(kLevelFull)) return 0;
  items->cursorPlace = 0;
  return StandOn(*items, index.ByUid().empty() ? nullptr : index.ByUid().front());
}

uint32_t FindNextItem() {
  if (OnCalendarFile()) return ReadCalendarEvent(false);
  ThreadItems* items = HeldItems();
  if (items == nullptr) return 0;
  STOREINDEXTYPE& record = items->entry->record;
  RecordReading reading(*items->entry, *items);
  if (!items->walking) return 0;
  return StandOn(*items, IndexOf(record).NextByUid(items->cursorUid, items->cursorPlace));
}

uint32_t SelectItem(std::string_view id) {
  ThreadItems* items = HeldItems();
  if (items == nullptr) return 0;
  STOREINDEXTYPE& record = items->entry->record;
  RecordChanging changing(*items->entry);
  BindCurrentItem(*items, record);
  IndexItemPropertyContainer* found = IndexOf(record).FindById(id);
  if (found == nullptr) return 0;
  items->current.Attach(found, false);
  return 1;
}

uint32_t SelectItemByField(std::string_view name, std::string_view value, bool exact) {
  ThreadItems* items = HeldItems();
  if (items == nullptr) return 0;
  STOREINDEXTYPE& record = items->entry->record;
  RecordReading reading(*items->entry, *items);
  BindCurrentItem(*items, record);
  for (IndexItemPropertyContainer* item : IndexOf(record).ByUid()) {
    const std::string text = item->GetText(name);
    if (exact ? text == value : EqualsNoCase(text, value)) {
      items->current.Attach(item, false);
      return 1;
    }
  }
  return 0;
}

}  // namespace tw

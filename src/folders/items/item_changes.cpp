// Creating, changing and deleting the items of the thread's open folder,
// and reading their properties.
#include <memory>

#include "folders/cache/record_access.h"
#include "folders/item_kind_rules.h"
#include "folders/items/item_binding.h"
#include "folders/items/item_calls.h"
#include "folders/properties/body_properties.h"
#include "folders/properties/item_property_access.h"
#include "folders/properties/property_map.h"
#include "frame/store_paths.h"
#include "index/file/store_index_serialiser.h"
#include "index/items/property_registry.h"
#include "index/lifecycle/store_index_record.h"
#include "index/locking/mutex_lock.h"
#include "index/messages/message_item.h"
#include "platform/files.h"

namespace tw {
namespace {

bool HasStatus(const IndexItemPropertyContainer* item) {
  return item != nullptr && !item->GetText(kPropStatus).empty();
}

// Mail, file-root and group items: the item leaves the index and its file
// leaves the folder.
uint32_t RemoveItemAndFile(STOREINDEXTYPE& record, std::string_view id) {
  if (!IndexOf(record).RemoveById(id)) return 0;
  record.itemCount = static_cast<uint32_t>(IndexOf(record).Count());
  if (record.folderPath[0] != '\0') platform::DeleteFile(InFolder(record.folderPath, std::string(id)));
  return 1;
}

}  // namespace

uint32_t CreateItem(std::string_view id) {
  ThreadItems* items = HeldItems();
  if (items == nullptr) return 0;
  STOREINDEXTYPE& record = items->entry->record;
  RecordChanging changing(*items->entry);
  BindCurrentItem(*items, record);
  SORTEDSTOREINDEXTYPE& index = IndexOf(record);
  if (index.LoadLevel() <= 0) return 0;
  if (IndexItemPropertyContainer* found = index.FindById(id)) {
    items->current.Attach(found, false);
    return 1;
  }
  if (!IsSafeItemId(id)) return 0;
  auto item = std::make_unique<IndexItemPropertyContainer>();
  item->SetText(kPropId, id);
  if (!index.InsertAtEnd(item.get())) return 0;
  items->current.Attach(item.release(), false);
  // The index no longer equals the file it was saved to.
  index.savedStamp.reset();
  record.lastUid = index.LastUid();
  record.itemCount = static_cast<uint32_t>(index.Count());
  return 1;
}

uint32_t DeleteItem(std::string_view id) {
  ThreadItems* items = HeldItems();
  if (items == nullptr) return 0;
  STOREINDEXTYPE& record = items->entry->record;
  RecordChanging changing(*items->entry);
  BindCurrentItem(*items, record);
  if (HasOwnRules(record.folderType)) {
    ItemKindRules* rules = KindRules(record.folderType);
    if (rules->deleteItem == nullptr) return 0;
    record.changed = 1;
    return rules->deleteItem(record, items->current, id);
  }
  record.changed = 1;
  if (!IsSafeItemId(id)) return 0;
  return RemoveItemAndFile(record, id);
}

uint32_t CommitItem() {
  ThreadItems* items = HeldItems();
  if (items == nullptr) return 0;
  STOREINDEXTYPE& record = items->entry->record;
  RecordChanging changing(*items->entry);
  BindCurrentItem(*items, record);
  IndexItemPropertyContainer* item = items->current.Container();
  if (!HasStatus(item)) return 0;
  if (HasOwnRules(items->current.kind)) {
    ItemKindRules* rules = KindRules(items->current.kind);
    if (rules->writeItem == nullptr) return 0;
    items->current.ClearStatus();
    rules->writeItem(record, items->current);
  } else {
    items->current.ClearStatus();
  }
  RefreshModifiedDate(*item, record.folderPath);
  return 1;
}

uint32_t SaveItemToStore() {
  ThreadItems* items = HeldItems();
  if (items == nullptr) return 1;
  STOREINDEXTYPE& record = items->entry->record;
  RecordChanging changing(*items->entry);
  BindCurrentItem(*items, record);
  ItemKindRules* rules = KindRules(items->current.kind);
  if (rules != nullptr && rules->writeItem != nullptr && !items->current.IsEmpty())
    rules->writeItem(record, items->current);
  return 1;
}

uint32_t GetCurrentItemProperty(std::string_view name, void** value, uint32_t* length) {
  *value = nullptr;
  *length = 0;
  TLSStoreIndex* state = ExistingThreadStoreIndex();
  ThreadItems* items = state != nullptr ? ExistingItemsOf(*state) : nullptr;
  if (items != nullptr && items->current.kind == kFolderTypeCalendarFile) {
    CalendarFileRules& calendar = CalendarFile();
    return calendar.getProperty != nullptr ? calendar.getProperty(*state, name, value, length) : kNoPropertyValue;
  }
  items = HeldItems();
  if (items == nullptr) return 0;
  STOREINDEXTYPE& record = items->entry->record;
  RecordReading reading(*items->entry, *items);
  BindForPropertyRead(*items, record);
  return GetItemProperty(items->current, name, value, length);
}

uint32_t GetCurrentItemBody(std::string_view partName, void** value, uint32_t* length) {
  *value = nullptr;
  *length = 0;
  ThreadItems* items = HeldItems();
  if (items == nullptr) return 0;
  STOREINDEXTYPE& record = items->entry->record;
  RecordReading reading(*items->entry, *items);
  BindForPropertyRead(*items, record);
  return ReadBodyProperty(items->current, partName, kValueLongText, kValueLongText, value, length);
}

uint32_t SetCurrentItemProperty(std::string_view id, std::string_view name, std::string_view value) {
  ThreadItems* items = HeldItems();
  if (items == nullptr) return 0;
  CachedRecord& entry = *items->entry;
  STOREINDEXTYPE& record = entry.record;
  RecordChanging changing(*items->entry);
  if (items->current.kind == kKindUnbound) items->current.kind = record.folderType;
  if (items->current.postoffice[0] == '\0') BindCurrentItem(*items, record);
  if (!id.empty() && !IsSafeItemId(id)) return 0;
  const bool firstChange = record.changed == 0;
  if (SetItemProperty(&record, &items->current, id, name, value) != 1) return 0;
  // Marked once per unsaved change set: other openers rebuild from the
  // files until the index is saved.
  if (firstChange && record.folderPath[0] != '\0') WriteChangeFlagIn(record.folderPath);
  entry.written.push_back(items->current.Container());
  return 1;
}

}  // namespace tw

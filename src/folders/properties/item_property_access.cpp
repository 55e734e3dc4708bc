#include "folders/properties/item_property_access.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "common/text.h"
#include "folders/item_kind_rules.h"
#include "folders/properties/body_properties.h"
#include "folders/properties/file_properties.h"
#include "folders/properties/property_conversion.h"
#include "folders/properties/property_map.h"
#include "index/locking/mutex_lock.h"
#include "index/items/property_registry.h"
#include "index/lifecycle/store_index_record.h"

namespace tw {
namespace {

bool IsMailKind(uint32_t kind) { return kind == kKindMail || kind == kKindMailLike; }

// Points the handle at the item `id` of the record's index, making the item
// when it is missing. The caller holds the record lock.
bool BindToRecordItem(STOREINDEXTYPE& record, IndexItem& handle, std::string_view id) {
  SORTEDSTOREINDEXTYPE& index = IndexOf(record);
  if (IndexItemPropertyContainer* found = index.FindById(id)) {
    handle.Attach(found, false);
    return true;
  }
  if (id.empty()) return false;
  auto item = std::make_unique<IndexItemPropertyContainer>();
  item->SetText(kPropId, id);
  if (!index.InsertAtEnd(item.get())) return false;
  handle.Attach(item.release(), false);
  record.lastUid = index.LastUid();
  record.itemCount = static_cast<uint32_t>(index.Count());
  return true;
}

// The location text a location name stands for; none for other names.
std::optional<std::string_view> LocationText(const IndexItem& handle, std::string_view name) {
  if (EqualsNoCase(name, "TW_POSTOFFICE")) return LocationView(handle.postoffice);
  if (EqualsNoCase(name, "TW_MAILBOX")) return LocationView(handle.mailbox);
  if (EqualsNoCase(name, "TW_FOLDER")) return LocationView(handle.folderName);
  if (EqualsNoCase(name, "TW_FOLDER_PATH")) return LocationView(handle.folderPath);
  return std::nullopt;
}

uint32_t HandOut(ValueBlock block, void** value, uint32_t* length) {
  *length = block.Length();
  *value = block.Release();
  return kPropertyReturned;
}

}  // namespace

uint32_t SetItemProperty(STOREINDEXTYPE* record, IndexItem* handle, std::string_view id, std::string_view name,
                         std::string_view value) {
  if (handle == nullptr) {
    if (record == nullptr) return 0;
    handle = &CurrentItemOf(*record);
  }
  if (record != nullptr && handle->kind == kKindUnbound) handle->kind = record->folderType;
  if (HasOwnRules(handle->kind)) {
    ItemKindRules* rules = KindRules(handle->kind);
    return rules->setProperty != nullptr ? rules->setProperty(record, *handle, id, name, value) : 0;
  }

  std::string_view indexName = name;
  if (IsMailKind(handle->kind)) {
    const std::optional<PropertyDescriptor> mapped = FindMailProperty(name);
    if (!mapped) return 0;
    indexName = mapped->indexName;
  }
  const bool plain = !indexName.empty() && indexName.front() == '@';
  const std::string_view stored = StoredName(indexName);
  if (stored.empty()) return 0;

  std::optional<StoreIndexMutexLock> lock;
  if (record != nullptr) {
    lock.emplace(LockFieldsOf(*record));
    if ((!id.empty() || handle->IsEmpty()) && !BindToRecordItem(*record, *handle, id)) return 0;
  }
  if (handle->IsEmpty()) return 0;
  if (plain)
    handle->SetPlain(stored, value);
  else
    handle->Set(stored, value);
  if (record != nullptr) record->changed = 1;
  handle->SetPlain(kPropStatus, "1");
  return 1;
}

uint32_t GetItemProperty(IndexItem& handle, std::string_view name, void** value, uint32_t* length) {
  *value = nullptr;
  *length = 0;
  if (handle.kind > kKindMailLike) return 0;
  // Contact and calendar items follow rules of their own; task items read
  // through the task table.
  if (handle.kind == kKindContacts || handle.kind == kKindCalendar) {
    ItemKindRules* rules = KindRules(handle.kind);
    if (rules->getProperty != nullptr && rules->getProperty(handle, name, value, length) == kPropertyReturned)
      return kPropertyReturned;
  } else if (const std::optional<PropertyDescriptor> mapped = FindProperty(handle.kind, name)) {
    // Body texts and file facts live in the item's own file, not in the index.
    if (mapped->longText == kLongTextBody)
      return ReadBodyProperty(handle, name, mapped->storageType, mapped->valueType, value, length);
    if (mapped->longText == kLongTextFileDate || mapped->longText == kLongTextFileType)
      return ReadFileProperty(handle, *mapped, value, length);
    const IndexItemPropertyContainer* item = handle.Container();
    if (item != nullptr && item->Has(StoredName(mapped->indexName))) {
      std::optional<ValueBlock> block = ReadPropertyValue(*item, *mapped);
      return block ? HandOut(std::move(*block), value, length) : kNoPropertyValue;
    }
  }
  if (const std::optional<std::string_view> location = LocationText(handle, name)) {
    std::optional<ValueBlock> block = ValueBlock::Allocate(location->size() + 1, static_cast<uint32_t>(location->size() + 1));
    if (!block) return kNoPropertyValue;
    std::memcpy(block->Data(), location->data(), location->size());
    return HandOut(std::move(*block), value, length);
  }
  return kNoPropertyValue;
}

}  // namespace tw

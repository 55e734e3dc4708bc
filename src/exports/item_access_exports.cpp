// The exported item interface of the calling thread.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "folders/items/item_calls.h"
#include "folders/properties/item_property_access.h"
#include "folders/properties/property_types.h"
#include "frame/event_report.h"
#include "twstore.h"

namespace {

constexpr const char* kItemSource = "..\\SERVICES\\Library\\LIBStoreFolder";

std::string_view Text(const char* text) { return text != nullptr ? std::string_view(text) : std::string_view(); }

template <typename Body>
uint32_t Guarded(const char* name, int line, uint32_t failure, Body&& body) {
  return tw::AtBoundary(name, kItemSource, line, failure, [&]() -> uint32_t { return body(); });
}

}  // namespace

extern "C" {

uint32_t StoreFolder_Open(const char* postoffice, const char* mailbox, const char* folder, uint32_t folderType,
                          int32_t openMode) {
  return Guarded("StoreFolder_Open", __LINE__, 0,
                 [&] { return tw::OpenFolder(postoffice, mailbox, folder, folderType, openMode); });
}

uint32_t StoreFolder_OpenItem(const char* postoffice, const char* mailbox, const char* folder, const char* itemId,
                              uint32_t folderType) {
  return Guarded("StoreFolder_OpenItem", __LINE__, 0, [&] {
    return tw::OpenItem(Text(postoffice), Text(mailbox), Text(folder), Text(itemId), folderType);
  });
}

uint32_t StoreFolder_Close(void) { return Guarded("StoreFolder_Close", __LINE__, 1, [] { return tw::CloseFolder(); }); }

uint32_t StoreFolder_Save(uint32_t) { return Guarded("StoreFolder_Save", __LINE__, 1, [] { return tw::SaveFolder(); }); }

uint32_t Store_Save(uint32_t) { return Guarded("Store_Save", __LINE__, 1, [] { return tw::SaveAllFolders(); }); }

uint32_t StoreFolder_FindFirstItem(void) {
  return Guarded("StoreFolder_FindFirstItem", __LINE__, 0, [] { return tw::FindFirstItem(); });
}

uint32_t StoreFolder_FindNextItem(void) {
  return Guarded("StoreFolder_FindNextItem", __LINE__, 0, [] { return tw::FindNextItem(); });
}

uint32_t StoreFolder_FindClose(void) { return Guarded("StoreFolder_FindClose", __LINE__, 1, [] { return tw::FindClose(); }); }

uint32_t StoreFolder_SelectItem(const char* itemId) {
  return Guarded("StoreFolder_SelectItem", __LINE__, 0, [&] { return tw::SelectItem(Text(itemId)); });
}

uint32_t StoreFolder_SelectItemByField(const char* propertyName, const char* value) {
  return Guarded("StoreFolder_SelectItemByField", __LINE__, 0,
                 [&] { return tw::SelectItemByField(Text(propertyName), Text(value), false); });
}

uint32_t StoreFolder_SelectItemByField_Ex(const char* propertyName, const char* value, uint32_t exact) {
  return Guarded("StoreFolder_SelectItemByField_Ex", __LINE__, 0,
                 [&] { return tw::SelectItemByField(Text(propertyName), Text(value), exact != 0); });
}

uint32_t StoreFolder_CreateItem(const char* itemId) {
  return Guarded("StoreFolder_CreateItem", __LINE__, 0, [&] { return tw::CreateItem(Text(itemId)); });
}

uint32_t StoreFolder_DeleteItem(const char* itemId) {
  return Guarded("StoreFolder_DeleteItem", __LINE__, 0, [&] { return tw::DeleteItem(Text(itemId)); });
}

uint32_t StoreFolder_CommitItem(void) {
  return Guarded("StoreFolder_CommitItem", __LINE__, 0, [] { return tw::CommitItem(); });
}

uint32_t StoreItem_GetProperty(const char* propertyName, void** value, uint32_t* length) {
  return Guarded("StoreItem_GetProperty", __LINE__, tw::kNoPropertyValue, [&]() -> uint32_t {
    if (value == nullptr || length == nullptr) return tw::kNoPropertyValue;
    *value = nullptr;
    *length = 0;
    return tw::GetCurrentItemProperty(Text(propertyName), value, length);
  });
}

uint32_t StoreItem_SetProperty(const char* itemId, const char* propertyName, const char* value) {
  return Guarded("StoreItem_SetProperty", __LINE__, 0, [&]() -> uint32_t {
    if (propertyName == nullptr || value == nullptr) return 0;
    return tw::SetCurrentItemProperty(Text(itemId), propertyName, value);
  });
}

void StoreItem_FreeProperty(void* value) { std::free(value); }

uint32_t StoreItem_SaveToStore(void) {
  return Guarded("StoreItem_SaveToStore", __LINE__, 1, [] { return tw::SaveItemToStore(); });
}

uint32_t StoreItemProperty_GetType(const char* propertyName, uint32_t folderType) {
  return Guarded("StoreItemProperty_GetType", __LINE__, 0,
                 [&] { return tw::PropertyValueType(Text(propertyName), folderType); });
}

}  // extern "C"

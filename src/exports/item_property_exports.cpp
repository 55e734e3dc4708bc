// The exported property calls on one item of an open folder index.
#include <cstdint>
#include <string_view>

#include "folders/properties/item_property_access.h"
#include "frame/event_report.h"
#include "index/items/index_item.h"
#include "index/lifecycle/store_index_record.h"
#include "twstore.h"

namespace {

std::string_view Text(const char* text) { return text != nullptr ? std::string_view(text) : std::string_view(); }

}  // namespace

extern "C" {

uint32_t StoreIndex_SetItemPropertyItem(STOREINDEXTYPE* record, void* item, const char* id, const char* name,
                                        const char* value) {
  return tw::AtBoundary("StoreIndex_SetItemPropertyItem", tw::kStoreIndexSource, __LINE__, 0u, [&]() -> uint32_t {
    if (name == nullptr || value == nullptr) return 0;
    return tw::SetItemProperty(record, static_cast<tw::IndexItem*>(item), Text(id), name, value);
  });
}

uint32_t StoreIndex_GetItemPropertyItem(void* item, const char* name, void** value, uint32_t* length) {
  return tw::AtBoundary("StoreIndex_GetItemPropertyItem", tw::kStoreIndexSource, __LINE__, tw::kNoPropertyValue,
                        [&]() -> uint32_t {
                          if (value == nullptr || length == nullptr) return tw::kNoPropertyValue;
                          *value = nullptr;
                          *length = 0;
                          if (item == nullptr || name == nullptr) return tw::kNoPropertyValue;
                          return tw::GetItemProperty(*static_cast<tw::IndexItem*>(item), name, value, length);
                        });
}

}  // extern "C"

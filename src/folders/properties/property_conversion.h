// Reading an item property for the item interface: the index keeps every
// value as text; it is fetched as a value of the property's storage type and
// converted to its value type into a block the caller frees with
// Memory_Free.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "folders/properties/property_map.h"
#include "index/items/index_item_property_container.h"

namespace tw {

// A block from the heap Memory_Allocate and Memory_Free use.
class ValueBlock {
 public:
  // Zero-filled; none when the heap has no room.
  static std::optional<ValueBlock> Allocate(size_t size, uint32_t length);

  unsigned char* Data() const { return data_.get(); }
  size_t Size() const { return size_; }
  // The length handed out with the block: the value type's fixed size, or
  // for a text its length plus the terminator (in 16-bit units for wide
  // text).
  uint32_t Length() const { return length_; }
  // Gives the block to the caller.
  void* Release() { return data_.release(); }

 private:
  struct Free {
    void operator()(unsigned char* p) const { std::free(p); }
  };
  std::unique_ptr<unsigned char, Free> data_;
  size_t size_ = 0;
  uint32_t length_ = 0;
};

// The property `indexName` of `item` as a value of `storageType`: texts as
// they stand (1, 2, 4, 5, 6, 11 in a 1024-byte block, cut to 1023 bytes),
// numbers and truth values read from the text, a date (3) from a DOS date
// and time as MODIFIEDDATE keeps it, a file time in decimal or an ISO date
// text. Wide texts (15, 16) are the UTF-8 text as UTF-16. Numbers are read
// the same in every locale. None when the item does not have the property
// or it cannot be read as that type.
std::optional<ValueBlock> FetchStoredValue(const IndexItemPropertyContainer& item, std::string_view indexName,
                                           uint32_t storageType);

// A text read as a value of `storageType`, by the rules FetchStoredValue
// applies to the text an index keeps.
std::optional<ValueBlock> StoredValueFromText(std::string_view text, uint32_t storageType);

// Converts a fetched value from `storageType` to `valueType`; none when no
// rule joins them. `birthday` selects the birthday property's rule for the
// date 2147483647 seconds after 1970, which stands for "no date".
std::optional<ValueBlock> ConvertStoredValue(ValueBlock fetched, uint32_t storageType, uint32_t valueType,
                                             bool birthday = false);

// Fetch and convert the property the descriptor names ("@" is not part of
// the index name).
std::optional<ValueBlock> ReadPropertyValue(const IndexItemPropertyContainer& item,
                                            const PropertyDescriptor& descriptor, bool birthday = false);

}  // namespace tw

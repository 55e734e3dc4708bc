// A handle to one item's properties. A handle made for a new item owns its
// fresh container until the item goes into an index; handles from index
// look-ups do not own. Each setter returns whether the property is present
// afterwards (false on an empty handle).
#pragma once
#include <cstdint>
#include <string_view>

#include "index/items/index_item_property_container.h"

namespace tw {

inline constexpr size_t kItemLocationSize = 1024;

// One of an item's location texts, as far as its NUL.
inline std::string_view LocationView(const char (&field)[kItemLocationSize]) {
  size_t length = 0;
  while (length < kItemLocationSize && field[length] != '\0') ++length;
  return std::string_view(field, length);
}

class IndexItem {
 public:
  IndexItem() = default;
  IndexItem(IndexItemPropertyContainer* container, bool owning) : container_(container), owning_(owning) {}
  virtual ~IndexItem() { Reset(); }
  IndexItem(const IndexItem&) = delete;
  IndexItem& operator=(const IndexItem&) = delete;

  // A handle owning a new, empty container.
  static IndexItem New() { return IndexItem(new IndexItemPropertyContainer(), true); }
  IndexItem(IndexItem&& other) noexcept;

  IndexItemPropertyContainer* Container() const { return container_; }
  bool IsOwning() const { return owning_; }
  bool IsEmpty() const { return container_ == nullptr; }
  // Refers to `container`, freeing an owned one first.
  void Attach(IndexItemPropertyContainer* container, bool owning);
  void Reset() { Attach(nullptr, false); }
  // Keeps referring to the container but no longer owns it (it went into
  // an index).
  void Disown() { owning_ = false; }

  // Sets the text; setting FLAGSTATUS also sets READ to 1 when the flags
  // hold \SEEN (any case), else to 0.
  bool Set(std::string_view name, std::string_view text);
  // Sets the text without the FLAGSTATUS side effect.
  bool SetPlain(std::string_view name, std::string_view text);
  bool SetNumber(std::string_view name, int32_t n);
  // Removes TW_STATUS (the change has been written back).
  bool ClearStatus();

  // The folder type of the index the item came from; selects property rules.
  uint32_t kind = 0;
  // Where the item's folder lives; the path is filled on first need.
  char postoffice[kItemLocationSize] = {};
  char mailbox[kItemLocationSize] = {};
  char folderName[kItemLocationSize] = {};
  char folderPath[kItemLocationSize] = {};

 private:
  IndexItemPropertyContainer* container_ = nullptr;
  bool owning_ = false;
};

}  // namespace tw

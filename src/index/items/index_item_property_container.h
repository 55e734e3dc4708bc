// One item's open-ended set of named properties. Each property lives in the
// slot the process-wide PropertyRegistry gives its name. An Integer-kind
// slot holds the number itself; a String-kind slot holds a tagged word:
//   0                      no value
//   ...00 (non-zero)       an owned heap block: length prefix and bytes
//   ...01                  a view into text the caller keeps alive (a loaded
//                          index file): 47-bit address, 15-bit length; a view
//                          costs no allocation and is copied only when the
//                          property is set again
//   ...10                  up to 7 bytes stored in the word itself
// A container in an index keeps its owner's lowest changed UID up to date.
//
// A load builds its containers inside the index's TextArena, each with its
// slots right behind it (NewIn): no allocation of their own. `delete` works
// on every container; for one in an arena it only runs the destructor, and
// the arena's memory goes when the index clears it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <new>
#include <string>
#include <string_view>

#include "index/items/property_registry.h"

namespace tw {

class SORTEDSTOREINDEXTYPE;
class TextArena;

class IndexItemPropertyContainer {
 public:
  IndexItemPropertyContainer() = default;
  // Frees every String-kind value under the registry lock.
  virtual ~IndexItemPropertyContainer();
  IndexItemPropertyContainer(const IndexItemPropertyContainer&) = delete;
  IndexItemPropertyContainer& operator=(const IndexItemPropertyContainer&) = delete;

  // An empty container in `arena` with room for `slotCount` slots; more
  // slots, if ever needed, move to the heap. Valid until the arena is cleared.
  static IndexItemPropertyContainer* NewIn(TextArena& arena, uint32_t slotCount);
  static void operator delete(IndexItemPropertyContainer* container, std::destroying_delete_t);

  SORTEDSTOREINDEXTYPE* Owner() const { return owner_; }
  void SetOwner(SORTEDSTOREINDEXTYPE* owner) { owner_ = owner; }

  // Inside the slot array and, for String kind, not empty. An Integer-kind
  // slot inside the array is present even when it holds 0.
  bool Has(PropertyKey key) const;
  bool Has(std::string_view name) const;

  // The text (Integer kind in decimal); empty when absent.
  std::string GetText(PropertyKey key) const;
  std::string GetText(std::string_view name) const;
  // Copies the text into `dest` of `capacity` bytes, truncated and always
  // terminated (empty first). Returns the bytes copied.
  size_t CopyText(PropertyKey key, char* dest, size_t capacity) const;
  size_t CopyText(std::string_view name, char* dest, size_t capacity) const;

  // The text without a copy; short and Integer-kind values are written into
  // `scratch`. Valid until the property changes.
  std::string_view TextView(PropertyKey key, char (&scratch)[16]) const;

  // Integer kind: the number; String kind: the text's leading number by the
  // atol rules (no digits: 0). Absent: 0.
  int32_t GetNumber(PropertyKey key) const;
  int32_t GetNumber(std::string_view name) const;

  // String kind stores a copy; Integer kind stores the text's number.
  void SetText(PropertyKey key, std::string_view text);
  void SetText(std::string_view name, std::string_view text);
  // Like SetText, but a String-kind value may refer to `text` in place;
  // the caller keeps `text` alive as long as this container refers to it.
  void SetTextView(PropertyKey key, std::string_view text);
  void SetTextView(std::string_view name, std::string_view text);
  // Like SetTextView of `text` kept in `arena`, for a container that is
  // being built by a load: short, long and Integer-kind values as SetText
  // stores them; without an owner there is nothing to re-file or tell.
  void SetLoaded(PropertyKey key, std::string_view text, TextArena& arena);
  // Integer kind stores n; String kind stores n in decimal.
  void SetNumber(PropertyKey key, int32_t n);
  void SetNumber(std::string_view name, int32_t n);
  // Empties a String-kind slot.
  void Clear(PropertyKey key);
  void Clear(std::string_view name);

  // Sets each name as text, in the map's (ascending) order.
  void SetAllGiven(const std::map<std::string, std::string>& values);
  // Every registered name whose slot is present, with its text.
  std::map<std::string, std::string> GetAll() const;

  uint32_t SlotCount() const { return slotCount_; }

  // Where the item's element lies in the index file (0: never written) and
  // its length in bytes; kept by the stream serialiser.
  int32_t FileOffset() const { return fileOffset_; }
  uint32_t ElementLength() const { return elementLength_; }
  void SetFilePlace(int32_t offset, uint32_t length) {
    fileOffset_ = offset;
    elementLength_ = length;
  }

 private:
  uintptr_t SlotValue(PropertyKey key) const;
  // Puts `word` into the slot (growing the array), freeing an old string.
  void Store(PropertyKey key, uintptr_t word);
  // Text into a String-kind slot (copied, or kept as a view), or its
  // number into an Integer-kind one.
  void SetString(PropertyKey key, std::string_view text, bool asView);
  void AfterSet(PropertyKey key);

  // Makes `count` slots present, new ones empty.
  void Resize(uint32_t count);

  SORTEDSTOREINDEXTYPE* owner_ = nullptr;
  uintptr_t* slots_ = nullptr;
  uint32_t slotCount_ = 0;
  uint32_t slotCapacity_ = 0;
  int32_t fileOffset_ = 0;
  uint32_t elementLength_ = 0;
  bool inArena_ = false;     // the container itself
  bool slotsOnHeap_ = true;  // slots_ is the container's own block
};

// atol rules on 8-bit text: leading blanks, an optional sign, decimal digits;
// the result saturates at the 32-bit limits.
int32_t ParseLeadingNumber(std::string_view text);

// A UID as the index files write it: plain decimal digits without sign or
// leading zero, 1 to 4294967294. Anything else is damage, never a UID.
bool ParseUidText(std::string_view text, uint32_t& uid);

}  // namespace tw

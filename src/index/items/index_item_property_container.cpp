#include "index/items/index_item_property_container.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include "common/array.h"
#include "common/text.h"
#include "index/items/sorted_store_index.h"
#include "index/items/text_arena.h"

namespace tw {
namespace {

static_assert(sizeof(uintptr_t) == 8, "the tagged slot word needs 64 bits");

constexpr uintptr_t kTagMask = 3;
constexpr uintptr_t kTagOwned = 0;
constexpr uintptr_t kTagView = 1;
constexpr uintptr_t kTagInline = 2;
constexpr size_t kInlineMax = 7;
constexpr size_t kViewMaxLength = (size_t{1} << 15) - 1;
constexpr uintptr_t kViewMaxAddress = uintptr_t{1} << 47;
constexpr uint32_t kSlotStep = 5;  // heap slots grow by this many

// An owned block is a length prefix and the bytes (no terminator): one byte
// for lengths below 0x80, else the byte 0x80 and a 32-bit length.
constexpr unsigned char kLongLength = 0x80;

uintptr_t EncodeOwned(std::string_view text) {
  if (text.size() > std::numeric_limits<uint32_t>::max() - 8) ThrowArrayOutOfMemory();
  const size_t prefix = text.size() < kLongLength ? 1 : 1 + sizeof(uint32_t);
  // malloc returns blocks aligned to at least 8, so the low two bits are 00.
  auto* block = static_cast<unsigned char*>(std::malloc(prefix + text.size()));
  if (block == nullptr) ThrowArrayOutOfMemory();
  if (prefix == 1) {
    block[0] = static_cast<unsigned char>(text.size());
  } else {
    const uint32_t length = static_cast<uint32_t>(text.size());
    block[0] = kLongLength;
    std::memcpy(block + 1, &length, sizeof length);
  }
  if (!text.empty()) std::memcpy(block + prefix, text.data(), text.size());
  return reinterpret_cast<uintptr_t>(block);
}

uintptr_t EncodeInline(std::string_view text) {
  uintptr_t word = kTagInline | (static_cast<uintptr_t>(text.size()) << 2);
  for (size_t i = 0; i < text.size(); ++i)
    word |= static_cast<uintptr_t>(static_cast<unsigned char>(text[i])) << (8 * (i + 1));
  return word;
}

uintptr_t EncodeCopy(std::string_view text) {
  return text.size() <= kInlineMax ? EncodeInline(text) : EncodeOwned(text);
}

uintptr_t EncodeView(std::string_view text) {
  const auto address = reinterpret_cast<uintptr_t>(text.data());
  if (text.size() <= kInlineMax || text.size() > kViewMaxLength || address >= kViewMaxAddress)
    return EncodeCopy(text);
  return kTagView | (static_cast<uintptr_t>(text.size()) << 2) | (address << 17);
}

void FreeString(uintptr_t word) {
  if (word != 0 && (word & kTagMask) == kTagOwned) std::free(reinterpret_cast<void*>(word));
}

// The text of a String-kind word; inline text is unpacked into `scratch`.
std::string_view DecodeString(uintptr_t word, char (&scratch)[16]) {
  if (word == 0) return {};
  switch (word & kTagMask) {
    case kTagOwned: {
      const auto* block = reinterpret_cast<const unsigned char*>(word);
      if (block[0] < kLongLength) return {reinterpret_cast<const char*>(block + 1), block[0]};
      uint32_t length;
      std::memcpy(&length, block + 1, sizeof length);
      return {reinterpret_cast<const char*>(block + 1 + sizeof length), length};
    }
    case kTagView:
      return {reinterpret_cast<const char*>(word >> 17), static_cast<size_t>((word >> 2) & kViewMaxLength)};
    default: {
      const size_t length = (word >> 2) & 7;
      for (size_t i = 0; i < length; ++i) scratch[i] = static_cast<char>((word >> (8 * (i + 1))) & 0xFF);
      return {scratch, length};
    }
  }
}

std::string_view UnsignedDecimal(uint32_t n, char (&buffer)[16]) {
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, n);
  return {buffer, static_cast<size_t>(result.ptr - buffer)};
}

std::string_view Decimal(int32_t n, char (&buffer)[16]) {
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, n);
  return {buffer, static_cast<size_t>(result.ptr - buffer)};
}

PropertyKey Key(std::string_view name) { return PropertyRegistry::Process().Lookup(name); }

}  // namespace

bool ParseUidText(std::string_view text, uint32_t& uid) {
  if (text.empty() || text.size() > 10 || text[0] == '0') return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFEull) return false;
  uid = static_cast<uint32_t>(value);
  return true;
}

int32_t ParseLeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return static_cast<int32_t>(-value);
  return value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                     : static_cast<int32_t>(value);
}

IndexItemPropertyContainer::~IndexItemPropertyContainer() {
  if (slotCount_ > 0) {
    PropertyRegistry& registry = PropertyRegistry::Process();
    std::lock_guard<std::mutex> hold(registry.Lock());
    const auto& kinds = registry.SlotKindsLocked();
    for (uint32_t i = 0; i < slotCount_ && i < kinds.size(); ++i)
      if (kinds[i] == PropertyKind::String) FreeString(slots_[i]);
  }
  if (slotsOnHeap_) std::free(slots_);
}

IndexItemPropertyContainer* IndexItemPropertyContainer::NewIn(TextArena& arena, uint32_t slotCount) {
  void* place = arena.Allocate(sizeof(IndexItemPropertyContainer) + size_t{slotCount} * sizeof(uintptr_t),
                               alignof(IndexItemPropertyContainer));
  auto* container = new (place) IndexItemPropertyContainer();
  container->inArena_ = true;
  if (slotCount > 0) {
    container->slots_ = reinterpret_cast<uintptr_t*>(container + 1);
    std::memset(static_cast<void*>(container->slots_), 0, size_t{slotCount} * sizeof(uintptr_t));
    container->slotCapacity_ = slotCount;
    container->slotsOnHeap_ = false;
  }
  return container;
}

void IndexItemPropertyContainer::operator delete(IndexItemPropertyContainer* container, std::destroying_delete_t) {
  const bool inArena = container->inArena_;
  container->~IndexItemPropertyContainer();
  if (!inArena) ::operator delete(container);
}

// Slots past the count are kept empty, so that taking them in needs no write.
void IndexItemPropertyContainer::Resize(uint32_t count) {
  if (count <= slotCount_) return;
  if (count > slotCapacity_) {
    const uint32_t capacity = std::max(count, slotCapacity_ + kSlotStep);
    auto* grown = static_cast<uintptr_t*>(std::malloc(size_t{capacity} * sizeof(uintptr_t)));
    if (grown == nullptr) ThrowArrayOutOfMemory();
    if (slotCount_ > 0) std::memcpy(grown, slots_, size_t{slotCount_} * sizeof(uintptr_t));
    std::memset(static_cast<void*>(grown + slotCount_), 0, size_t{capacity - slotCount_} * sizeof(uintptr_t));
    if (slotsOnHeap_) std::free(slots_);
    slots_ = grown;
    slotCapacity_ = capacity;
    slotsOnHeap_ = true;
  }
  slotCount_ = count;
}

uintptr_t IndexItemPropertyContainer::SlotValue(PropertyKey key) const {
  if (key.slot < 0 || static_cast<uint32_t>(key.slot) >= slotCount_) return 0;
  return slots_[static_cast<uint32_t>(key.slot)];
}

bool IndexItemPropertyContainer::Has(PropertyKey key) const {
  if (key.slot < 0 || static_cast<uint32_t>(key.slot) >= slotCount_) return false;
  return key.kind == PropertyKind::Integer || slots_[static_cast<uint32_t>(key.slot)] != 0;
}

std::string IndexItemPropertyContainer::GetText(PropertyKey key) const {
  if (!Has(key)) return {};
  char scratch[16];
  return std::string(TextView(key, scratch));
}

size_t IndexItemPropertyContainer::CopyText(PropertyKey key, char* dest, size_t capacity) const {
  if (dest == nullptr || capacity == 0) return 0;
  dest[0] = '\0';
  if (!Has(key)) return 0;
  if (key.kind == PropertyKind::Integer) {
    char buffer[16];
    return tw::CopyText(dest, capacity, TextView(key, buffer));
  }
  char scratch[16];
  return tw::CopyText(dest, capacity, DecodeString(SlotValue(key), scratch));
}

int32_t IndexItemPropertyContainer::GetNumber(PropertyKey key) const {
  if (!Has(key)) return 0;
  if (key.kind == PropertyKind::Integer) return static_cast<int32_t>(SlotValue(key));
  char scratch[16];
  return ParseLeadingNumber(DecodeString(SlotValue(key), scratch));
}

void IndexItemPropertyContainer::Store(PropertyKey key, uintptr_t word) {
  const auto slot = static_cast<uint32_t>(key.slot);
  const bool isString = key.kind == PropertyKind::String;
  try {
    if (slot >= slotCount_) Resize(slot + 1);  // new slots are empty / 0
  } catch (...) {
    if (isString) FreeString(word);
    throw;
  }
  // The index files its items by ID and UID: take the item out of that
  // order while the key changes.
  SORTEDSTOREINDEXTYPE* const rekeyOwner =
      owner_ != nullptr && (key.slot == kKeyId.slot || key.slot == kKeyUid.slot) ? owner_ : nullptr;
  if (rekeyOwner != nullptr) rekeyOwner->BeforeKeyChange(this, key.slot);
  const uintptr_t old = slots_[slot];
  slots_[slot] = word;
  if (isString) FreeString(old);  // after the store: the new text may have been read from the old
  if (rekeyOwner != nullptr) rekeyOwner->AfterKeyChange(this, key.slot);
}

void IndexItemPropertyContainer::SetText(PropertyKey key, std::string_view text) { SetString(key, text, false); }

void IndexItemPropertyContainer::SetTextView(PropertyKey key, std::string_view text) { SetString(key, text, true); }

void IndexItemPropertyContainer::SetString(PropertyKey key, std::string_view text, bool asView) {
  if (key.slot < 0) return;
  if (key.slot == kKeyUid.slot) {
    // A UID that is not one is left out: the index gives the item a new one
    // rather than another message's or one wrapped round.
    uint32_t uid = 0;
    Store(key, ParseUidText(text, uid) ? uid : 0);
  } else if (key.kind == PropertyKind::Integer) {
    Store(key, static_cast<uint32_t>(ParseLeadingNumber(text)));
  } else {
    Store(key, asView ? EncodeView(text) : EncodeCopy(text));
  }
  AfterSet(key);
}

void IndexItemPropertyContainer::SetLoaded(PropertyKey key, std::string_view text, TextArena& arena) {
  if (key.slot < 0) return;
  uintptr_t word = 0;
  if (key.slot == kKeyUid.slot) {
    uint32_t uid = 0;
    word = ParseUidText(text, uid) ? uid : 0;
  } else if (key.kind == PropertyKind::Integer) {
    word = static_cast<uint32_t>(ParseLeadingNumber(text));
  } else if (text.size() <= kInlineMax || text.size() > kViewMaxLength) {
    word = EncodeCopy(text);
  } else {
    word = EncodeView(arena.Keep(text));
  }
  const auto slot = static_cast<uint32_t>(key.slot);
  if (owner_ != nullptr || slot >= slotCapacity_) {
    Store(key, word);
    AfterSet(key);
    return;
  }
  if (slot >= slotCount_) slotCount_ = slot + 1;  // slots past the count are empty
  const uintptr_t old = slots_[slot];
  slots_[slot] = word;
  if (key.kind == PropertyKind::String) FreeString(old);
}

void IndexItemPropertyContainer::SetNumber(PropertyKey key, int32_t n) {
  if (key.slot < 0) return;
  if (key.kind == PropertyKind::Integer) {
    Store(key, static_cast<uint32_t>(n));
  } else {
    char buffer[16];
    Store(key, EncodeCopy(Decimal(n, buffer)));
  }
  AfterSet(key);
}

void IndexItemPropertyContainer::Clear(PropertyKey key) {
  if (key.kind != PropertyKind::String || key.slot < 0 || static_cast<uint32_t>(key.slot) >= slotCount_) return;
  Store(key, 0);
}

std::string_view IndexItemPropertyContainer::TextView(PropertyKey key, char (&scratch)[16]) const {
  if (!Has(key)) return {};
  if (key.slot == kKeyUid.slot) return UnsignedDecimal(static_cast<uint32_t>(SlotValue(key)), scratch);
  if (key.kind == PropertyKind::Integer) return Decimal(static_cast<int32_t>(SlotValue(key)), scratch);
  return DecodeString(SlotValue(key), scratch);
}

void IndexItemPropertyContainer::AfterSet(PropertyKey key) {
  if (owner_ == nullptr) return;
  static const PropertyKey seq = PropertyRegistry::Process().Lookup(kPropSeq);
  if (key.slot == seq.slot) return;
  owner_->NoteChangedUid(static_cast<uint32_t>(GetNumber(kKeyUid)));
}

void IndexItemPropertyContainer::SetAllGiven(const std::map<std::string, std::string>& values) {
  for (const auto& [name, text] : values) SetText(name, text);
}

std::map<std::string, std::string> IndexItemPropertyContainer::GetAll() const {
  std::map<std::string, std::string> all;
  for (const auto& [name, key] : PropertyRegistry::Process().Names())
    if (Has(key)) all.emplace(name, GetText(key));
  return all;
}

bool IndexItemPropertyContainer::Has(std::string_view name) const { return Has(Key(name)); }
std::string IndexItemPropertyContainer::GetText(std::string_view name) const { return GetText(Key(name)); }
size_t IndexItemPropertyContainer::CopyText(std::string_view name, char* dest, size_t capacity) const {
  return CopyText(Key(name), dest, capacity);
}
int32_t IndexItemPropertyContainer::GetNumber(std::string_view name) const { return GetNumber(Key(name)); }
void IndexItemPropertyContainer::SetText(std::string_view name, std::string_view text) { SetText(Key(name), text); }
void IndexItemPropertyContainer::SetTextView(std::string_view name, std::string_view text) {
  SetTextView(Key(name), text);
}
void IndexItemPropertyContainer::SetNumber(std::string_view name, int32_t n) { SetNumber(Key(name), n); }
void IndexItemPropertyContainer::Clear(std::string_view name) { Clear(Key(name)); }

}  // namespace tw

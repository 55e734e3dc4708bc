#include "index/items/item_id_table.h"

#include <algorithm>
#include <functional>

#include "index/items/index_item_property_container.h"

namespace tw {
namespace {

constexpr size_t kFirstSize = 64;
constexpr uintptr_t kTagMask = 7;
static_assert(alignof(IndexItemPropertyContainer) > kTagMask, "the tag lives in the address's low bits");

std::string_view IdOf(const IndexItemPropertyContainer* c, char (&scratch)[16]) {
  return c->TextView(kKeyId, scratch);
}

size_t HashOf(std::string_view id) { return std::hash<std::string_view>{}(id); }

// The tag comes from the hash's top bits: the position from its low ones.
uintptr_t TagOf(size_t hash) { return static_cast<uintptr_t>(hash >> 61) & kTagMask; }

uintptr_t Word(IndexItemPropertyContainer* c, size_t hash) { return reinterpret_cast<uintptr_t>(c) | TagOf(hash); }

}  // namespace

IndexItemPropertyContainer* ItemIdTable::ContainerOf(uintptr_t word) {
  return reinterpret_cast<Container*>(word & ~kTagMask);
}

size_t ItemIdTable::Probe(std::string_view id, size_t hash) const {
  for (size_t at = hash & Mask();; at = (at + 1) & Mask()) {
    const uintptr_t word = words_[at];
    if (word == 0) return at;
    char scratch[16];
    if ((word & kTagMask) == TagOf(hash) && IdOf(ContainerOf(word), scratch) == id) return at;
  }
}

bool ItemIdTable::Insert(Container* container) {
  if ((size_ + 1) * 10 > words_.size() * 7) Rehash(words_.empty() ? kFirstSize : words_.size() * 2);
  char scratch[16];
  const std::string_view id = IdOf(container, scratch);
  const size_t hash = HashOf(id);
  const size_t at = Probe(id, hash);
  if (words_[at] != 0) return false;
  words_[at] = Word(container, hash);
  ++size_;
  return true;
}

void ItemIdTable::Prefetch(std::string_view id) const {
  if (!words_.empty()) __builtin_prefetch(&words_[HashOf(id) & Mask()]);
}

IndexItemPropertyContainer* ItemIdTable::Find(std::string_view id) const {
  if (size_ == 0) return nullptr;
  const uintptr_t word = words_[Probe(id, HashOf(id))];
  return word == 0 ? nullptr : ContainerOf(word);
}

void ItemIdTable::Erase(Container* container) {
  if (size_ == 0) return;
  char scratch[16];
  const std::string_view id = IdOf(container, scratch);
  size_t hole = Probe(id, HashOf(id));
  if (words_[hole] == 0 || ContainerOf(words_[hole]) != container) return;
  words_[hole] = 0;
  --size_;
  // Moves back every later word of the run that could not be found past
  // the new hole (its home lies at or before the hole, cyclically).
  for (size_t at = (hole + 1) & Mask(); words_[at] != 0; at = (at + 1) & Mask()) {
    char other[16];
    const size_t home = HashOf(IdOf(ContainerOf(words_[at]), other)) & Mask();
    if (((at - home) & Mask()) >= ((at - hole) & Mask())) {
      words_[hole] = words_[at];
      words_[at] = 0;
      hole = at;
    }
  }
}

void ItemIdTable::Clear() {
  words_.clear();
  words_.shrink_to_fit();
  size_ = 0;
}

void ItemIdTable::Reserve(size_t count) {
  size_t words = std::max(kFirstSize, words_.size());
  while (count * 10 > words * 7) words *= 2;
  if (words > words_.size()) Rehash(words);
}

void ItemIdTable::Rehash(size_t words) {
  std::vector<uintptr_t> old(words, 0);
  old.swap(words_);
  for (const uintptr_t word : old) {
    if (word == 0) continue;
    char scratch[16];
    const std::string_view id = IdOf(ContainerOf(word), scratch);
    words_[Probe(id, HashOf(id))] = word;
  }
}

}  // namespace tw

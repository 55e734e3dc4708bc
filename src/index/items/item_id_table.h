// The by-ID order of an index: a hash table of its containers keyed by
// their ID text (exact bytes). One array of words, open addressing with
// linear probing; each word is a container's address with 3 bits of its
// ID's hash in the low bits its alignment leaves free, so most probes that
// meet another container need not read it. Up to 70 % full: 11 to 23 bytes
// an item.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tw {

class IndexItemPropertyContainer;

class ItemIdTable {
 public:
  using Container = IndexItemPropertyContainer;

  // False, leaving the table as it was, when another container has its ID.
  bool Insert(Container* container);
  // Starts bringing in the part of the table where `id` goes, for an
  // Insert or Find of it soon after.
  void Prefetch(std::string_view id) const;
  // The container with this ID; null when none.
  Container* Find(std::string_view id) const;
  // Takes out `container` if it is the one filed under its ID.
  void Erase(Container* container);

  // Room for `count` containers without growing.
  void Reserve(size_t count);
  size_t Size() const { return size_; }
  void Clear();
  template <typename Fn>
  void ForEach(Fn&& fn) const {
    for (const uintptr_t word : words_)
      if (word != 0) fn(ContainerOf(word));
  }

 private:
  static Container* ContainerOf(uintptr_t word);
  size_t Mask() const { return words_.size() - 1; }
  // The position of `id` (hash `hash`), or of the empty word where it would go.
  size_t Probe(std::string_view id, size_t hash) const;
  void Rehash(size_t words);

  std::vector<uintptr_t> words_;  // 0: empty; size a power of 2
  size_t size_ = 0;
};

}  // namespace tw

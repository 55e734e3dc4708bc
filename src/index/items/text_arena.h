// Append-only storage for what a loaded index file gives: the texts of its
// values and the containers built from them. Containers keep their values
// as views into it, so a load makes a few large allocations instead of
// several per item. Everything stays where it is until Clear.
#pragma once
#include <cstddef>
#include <string_view>
#include <vector>

namespace tw {

class TextArena {
 public:
  TextArena() = default;
  ~TextArena() { Clear(); }
  TextArena(const TextArena&) = delete;
  TextArena& operator=(const TextArena&) = delete;

  // Copies `text` in and returns where it now lies.
  std::string_view Keep(std::string_view text);
  // `size` uninitialised bytes at a multiple of `alignment` (a power of 2).
  void* Allocate(size_t size, size_t alignment);
  // Frees every block; earlier views dangle afterwards.
  void Clear();
  size_t BytesHeld() const { return held_; }

 private:
  // Room for `size` bytes at next_, in a new block if need be.
  void MakeRoom(size_t size);

  struct Block {
    char* data;
    size_t size;
  };
  std::vector<Block> blocks_;
  char* next_ = nullptr;
  size_t left_ = 0;
  size_t held_ = 0;
};

}  // namespace tw

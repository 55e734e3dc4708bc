// Append-only storage for the texts of a loaded index file. Containers keep
// their values as views into it, so a load makes a few large allocations
// instead of one per property. Texts stay where they are until Clear.
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
  // Frees every block; earlier views dangle afterwards.
  void Clear();
  size_t BytesHeld() const { return held_; }

 private:
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

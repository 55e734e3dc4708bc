#include "index/items/text_arena.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/large_memory.h"

namespace tw {
namespace {
constexpr size_t kFirstBlock = 64 * 1024;
constexpr size_t kLargestBlock = 8 * 1024 * 1024;
}  // namespace

std::string_view TextArena::Keep(std::string_view text) {
  if (text.empty()) return {};
  if (text.size() > left_) {
    // Blocks double up to a ceiling; a text larger than that gets a block of its own.
    const size_t grown = std::min(kLargestBlock, std::max(kFirstBlock, held_));
    const size_t size = std::max(grown, text.size());
    char* block = static_cast<char*>(platform::AllocateLargeBlock(size));
    if (block == nullptr) throw std::bad_alloc();
    blocks_.push_back({block, size});
    next_ = block;
    left_ = size;
    held_ += size;
  }
  std::memcpy(next_, text.data(), text.size());
  const std::string_view kept(next_, text.size());
  next_ += text.size();
  left_ -= text.size();
  return kept;
}

void TextArena::Clear() {
  for (const Block& block : blocks_) platform::FreeLargeBlock(block.data, block.size);
  blocks_.clear();
  next_ = nullptr;
  left_ = 0;
  held_ = 0;
}

}  // namespace tw

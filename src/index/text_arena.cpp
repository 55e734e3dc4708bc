#include "index/text_arena.h"

#include <algorithm>
#include <cstring>

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
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    next_ = blocks_.back().get();
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
  blocks_.clear();
  next_ = nullptr;
  left_ = 0;
  held_ = 0;
}

}  // namespace tw

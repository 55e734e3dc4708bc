#include "index/items/text_arena.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "platform/large_memory.h"

namespace tw {
namespace {
constexpr size_t kFirstBlock = 64 * 1024;
// Small enough that the unused end of the last block, whose pages are all
// made resident at once, stays small beside a large index.
constexpr size_t kLargestBlock = 1024 * 1024;
}  // namespace

void TextArena::MakeRoom(size_t size) {
  if (size <= left_) return;
  // Blocks double up to a ceiling; a text larger than that gets a block of its own.
  const size_t grown = std::min(kLargestBlock, std::max(kFirstBlock, held_));
  const size_t blockSize = std::max(grown, size);
  char* block = static_cast<char*>(platform::AllocateLargeBlock(blockSize));
  if (block == nullptr) throw std::bad_alloc();
  blocks_.push_back({block, blockSize});
  next_ = block;
  left_ = blockSize;
  held_ += blockSize;
}

std::string_view TextArena::Keep(std::string_view text) {
  if (text.empty()) return {};
  MakeRoom(text.size());
  std::memcpy(next_, text.data(), text.size());
  const std::string_view kept(next_, text.size());
  next_ += text.size();
  left_ -= text.size();
  return kept;
}

void* TextArena::Allocate(size_t size, size_t alignment) {
  // Blocks start aligned (heap or whole pages), so padding within one is enough.
  size_t padding = (alignment - reinterpret_cast<uintptr_t>(next_) % alignment) % alignment;
  if (size + padding > left_) {
    MakeRoom(size + alignment);
    padding = (alignment - reinterpret_cast<uintptr_t>(next_) % alignment) % alignment;
  }
  char* place = next_ + padding;
  next_ = place + size;
  left_ -= padding + size;
  return place;
}

void TextArena::Clear() {
  for (const Block& block : blocks_) platform::FreeLargeBlock(block.data, block.size);
  blocks_.clear();
  next_ = nullptr;
  left_ = 0;
  held_ = 0;
}

}  // namespace tw

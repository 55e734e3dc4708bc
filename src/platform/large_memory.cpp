#include "platform/large_memory.h"

#include <sys/mman.h>

#include <cstdlib>

namespace tw::platform {
namespace {
constexpr size_t kMappedFrom = 1024 * 1024;
}  // namespace

void* AllocateLargeBlock(size_t size) {
  if (size == 0) return nullptr;
  if (size < kMappedFrom) return std::malloc(size);
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void FreeLargeBlock(void* block, size_t size) {
  if (block == nullptr) return;
  if (size < kMappedFrom) {
    std::free(block);
  } else {
    munmap(block, size);
  }
}

}  // namespace tw::platform

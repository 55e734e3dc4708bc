// Large, long-lived blocks (the texts of a loaded index file), mapped with
// all their pages at once: filling tens of megabytes then costs one call
// instead of a page fault per 4 KiB. Blocks under 1 MiB come from the heap.
#pragma once
#include <cstddef>

namespace tw::platform {

// At least `size` bytes, uninitialised; null when memory is short. Free
// with FreeLargeBlock and the same size.
void* AllocateLargeBlock(size_t size);
void FreeLargeBlock(void* block, size_t size);

}  // namespace tw::platform

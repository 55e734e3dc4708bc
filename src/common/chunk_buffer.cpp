#include "common/chunk_buffer.h"

#include <atomic>
#include <new>

#include "frame/event_report.h"
#include "frame/registry_access.h"

namespace tw {
namespace {

constexpr uint32_t kNotRead = 0;
constexpr uint32_t kUnitWhenMissing = 131072;
constexpr uint32_t kUnitWhenTooSmall = 65536;
constexpr uint32_t kSmallestUnit = 1024;

std::atomic<uint32_t> g_unit{kNotRead};

}  // namespace

size_t MessagePartAllocationUnit() {
  uint32_t unit = g_unit.load(std::memory_order_relaxed);
  if (unit == kNotRead) {
    uint32_t value = 0;
    if (ReadRegistryDword(std::string(kProvidersKey) + "\\Store", "Message Part Allocation Unit", &value) == 0)
      unit = kUnitWhenMissing;
    else
      unit = value < kSmallestUnit ? kUnitWhenTooSmall : value;
    g_unit.store(unit, std::memory_order_relaxed);
  }
  return unit;
}

void ResetMessagePartAllocationUnit() { g_unit = kNotRead; }

ChunkBuffer::ChunkBuffer(size_t unit) : unit_(unit < kSmallestUnit ? kSmallestUnit : unit) {}

void ChunkBuffer::Append(std::string_view text) {
  if (chunk_.size() + text.size() < unit_) {
    chunk_.append(text);
    return;
  }
  Flush();
  chunk_.assign(text);
  if (chunk_.size() >= unit_) Flush();
}

int32_t ChunkBuffer::Flush() {
  if (chunk_.empty() && flushed_) return 1;
  try {
    if (!flushed_) assembled_.reserve(chunk_.size() + 1);
    assembled_.append(chunk_);
    flushed_ = true;
  } catch (const std::bad_alloc&) {
    // The assembled text stays as it was; the caller sees the shorter text.
    Log(flushed_ ? "AddChunk::HeapReAlloc->Unable to reallocate bufferk" : "AddChunk::HeapAlloc->Unable to allocate buffer");
  }
  chunk_.clear();
  return 1;
}

uint32_t ChunkBuffer::AssembledSize() const {
  return flushed_ ? static_cast<uint32_t>(assembled_.size() + 1) : 0;
}

}  // namespace tw

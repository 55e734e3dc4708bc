// The library's growable array: a malloc'ed buffer of trivially copyable
// elements (pointers, bytes, characters, integers) that grows by a fixed
// step (additive) or a fixed multiple (multiplicative) when full. Every
// access is bounds-checked and failures are thrown as tw::Exception from
// "Common\Array". Note that a zero capacity with multiplicative growth can
// never grow: every append then throws the smaller-capacity exception.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "common/exception.h"

namespace tw {

enum class ArrayGrowth : uint32_t { Additive = 0, Multiplicative = 1 };

inline constexpr const char* kArraySourceModule = "Common\\Array";
inline constexpr int kArrayLineIndexOutOfBounds = 102;
inline constexpr int kArrayLineSmallerCapacity = 520;
inline constexpr int kArrayLineOutOfMemory = 540;

[[noreturn]] inline void ThrowArrayIndexOutOfBounds() {
  throw Exception("Array index out of bounds", kArraySourceModule, kArrayLineIndexOutOfBounds);
}
[[noreturn]] inline void ThrowArraySmallerCapacity() {
  throw Exception("Reallocation attempt resulted in smaller capacity; reallocation mode and factor invalid",
                  kArraySourceModule, kArrayLineSmallerCapacity);
}
[[noreturn]] inline void ThrowArrayOutOfMemory() {
  throw Exception("Out of memory", kArraySourceModule, kArrayLineOutOfMemory);
}

template <typename T>
class Array {
  static_assert(std::is_trivially_copyable_v<T>, "Array holds raw, trivially copyable elements only");

 public:
  static constexpr uint32_t kDefaultCapacity = 16;
  static constexpr uint32_t kDefaultGrowthFactor = 2;
  // Largest capacity whose byte size still fits a size_t.
  static constexpr uint64_t kMaxCapacity =
      std::min<uint64_t>(std::numeric_limits<uint32_t>::max(), std::numeric_limits<size_t>::max() / sizeof(T));

  explicit Array(uint32_t capacity = kDefaultCapacity, uint32_t growthFactor = kDefaultGrowthFactor,
                 ArrayGrowth growth = ArrayGrowth::Multiplicative)
      : growthFactor_(growthFactor), growth_(growth) {
    if (capacity > 0) Reallocate(capacity);
  }

  Array(const Array& other) : growthFactor_(other.growthFactor_), growth_(other.growth_) {
    if (other.capacity_ > 0) Reallocate(other.capacity_);
    if (other.count_ > 0) std::memcpy(buffer_, other.buffer_, other.count_ * sizeof(T));
    count_ = other.count_;
  }

  Array(Array&& other) noexcept
      : buffer_(std::exchange(other.buffer_, nullptr)),
        capacity_(std::exchange(other.capacity_, 0)),
        count_(std::exchange(other.count_, 0)),
        growthFactor_(other.growthFactor_),
        growth_(other.growth_) {}

  Array& operator=(Array other) noexcept {
    Swap(other);
    return *this;
  }

  virtual ~Array() {
    std::free(buffer_);
    buffer_ = nullptr;
    capacity_ = 0;
    count_ = 0;
  }

  void Swap(Array& other) noexcept {
    std::swap(buffer_, other.buffer_);
    std::swap(capacity_, other.capacity_);
    std::swap(count_, other.count_);
    std::swap(growthFactor_, other.growthFactor_);
    std::swap(growth_, other.growth_);
  }

  uint32_t Count() const { return count_; }
  uint32_t Capacity() const { return capacity_; }
  uint32_t GrowthFactor() const { return growthFactor_; }
  ArrayGrowth Growth() const { return growth_; }
  bool IsEmpty() const { return count_ == 0; }

  T* Data() { return buffer_; }
  const T* Data() const { return buffer_; }
  T* begin() { return buffer_; }
  T* end() { return buffer_ + count_; }
  const T* begin() const { return buffer_; }
  const T* end() const { return buffer_ + count_; }

  T& At(uint32_t index) {
    if (index >= count_) ThrowArrayIndexOutOfBounds();
    return buffer_[index];
  }
  const T& At(uint32_t index) const {
    if (index >= count_) ThrowArrayIndexOutOfBounds();
    return buffer_[index];
  }
  T& operator[](uint32_t index) { return At(index); }
  const T& operator[](uint32_t index) const { return At(index); }

  void Append(const T& value) {
    const T copy = value;  // `value` may live in the buffer about to move
    if (count_ == capacity_) Grow(static_cast<uint64_t>(count_) + 1);
    buffer_[count_++] = copy;
  }

  void Append(const T* values, uint32_t n) {
    if (n == 0) return;
    // `values` may point into our own buffer; keep its offset across a move.
    const bool inside = buffer_ != nullptr && values >= buffer_ && values < buffer_ + count_;
    const size_t offset = inside ? static_cast<size_t>(values - buffer_) : 0;
    Grow(static_cast<uint64_t>(count_) + n);
    std::memmove(buffer_ + count_, inside ? buffer_ + offset : values, static_cast<size_t>(n) * sizeof(T));
    count_ += n;
  }

  // Inserts before `index`; `index` == Count() appends.
  void Insert(uint32_t index, const T& value) {
    if (index > count_) ThrowArrayIndexOutOfBounds();
    const T copy = value;
    if (count_ == capacity_) Grow(static_cast<uint64_t>(count_) + 1);
    std::memmove(buffer_ + index + 1, buffer_ + index, static_cast<size_t>(count_ - index) * sizeof(T));
    buffer_[index] = copy;
    ++count_;
  }

  void RemoveRange(uint32_t index, uint32_t n) {
    if (index > count_ || n > count_ - index) ThrowArrayIndexOutOfBounds();
    std::memmove(buffer_ + index, buffer_ + index + n, static_cast<size_t>(count_ - index - n) * sizeof(T));
    count_ -= n;
  }
  void RemoveAt(uint32_t index) { RemoveRange(index, 1); }

  // Sets the count; new elements are zero bytes (null pointers, 0).
  void Resize(uint32_t count) {
    if (count > count_) {
      Grow(count);
      std::memset(static_cast<void*>(buffer_ + count_), 0, static_cast<size_t>(count - count_) * sizeof(T));
    }
    count_ = count;
  }

  // Reallocates only when `capacity` is larger than the current one.
  void Reserve(uint32_t capacity) {
    if (capacity > capacity_) Reallocate(capacity);
  }

  // Forgets the elements; the buffer is kept for reuse.
  void Clear() { count_ = 0; }

 private:
  uint64_t NextCapacity(uint64_t capacity) const {
    return growth_ == ArrayGrowth::Multiplicative ? capacity * growthFactor_ : capacity + growthFactor_;
  }

  // Grows by the growth rule, step after step, until `needed` elements fit.
  void Grow(uint64_t needed) {
    if (needed <= capacity_) return;
    if (needed > kMaxCapacity) ThrowArrayOutOfMemory();
    uint64_t capacity = capacity_;
    while (capacity < needed) {
      uint64_t next;
      if (growth_ != ArrayGrowth::Multiplicative && growthFactor_ > 0) {
        // Additive: jump straight to the step that fits.
        const uint64_t steps = (needed - capacity + growthFactor_ - 1) / growthFactor_;
        next = capacity + steps * growthFactor_;
      } else {
        next = NextCapacity(capacity);
      }
      if (next <= capacity) ThrowArraySmallerCapacity();
      capacity = next > kMaxCapacity ? kMaxCapacity : next;
    }
    Reallocate(static_cast<uint32_t>(capacity));
  }

  void Reallocate(uint32_t capacity) {
    if (capacity > kMaxCapacity) ThrowArrayOutOfMemory();
    void* grown = std::realloc(static_cast<void*>(buffer_), static_cast<size_t>(capacity) * sizeof(T));
    if (grown == nullptr) ThrowArrayOutOfMemory();
    buffer_ = static_cast<T*>(grown);
    capacity_ = capacity;
  }

  T* buffer_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t count_ = 0;
  uint32_t growthFactor_;
  ArrayGrowth growth_;
};

}  // namespace tw

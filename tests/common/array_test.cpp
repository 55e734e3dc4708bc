#include "common/array.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace tw {
namespace {

const std::string kBounds = "Common\\Array: Array index out of bounds @102";
const std::string kSmaller =
    "Common\\Array: Reallocation attempt resulted in smaller capacity; reallocation mode and factor invalid @520";
constexpr ArrayGrowth kAdd = ArrayGrowth::Additive, kMul = ArrayGrowth::Multiplicative;

// What `body` throws, as "module: message @line"; "none" when it returns.
std::string Thrown(const std::function<void()>& body) {
  try {
    body();
    return "none";
  } catch (const Exception& e) {
    return e.SourceModule() + ": " + e.Message() + " @" + std::to_string(e.Line());
  }
}

std::string Text(const Array<char>& a) { return std::string(a.begin(), a.end()); }

TEST(CommonArrayGrowth, GrowsByTheModeOnlyWhenFullOrThrows) {
  // Capacity, factor, mode; elements appended one by one, then at once; the capacity then (0: cannot grow).
  using Case = std::tuple<uint32_t, uint32_t, ArrayGrowth, uint32_t, uint32_t, uint32_t>;
  for (const auto& [capacity, factor, growth, appends, bulk, expected] : std::vector<Case>{
           {2, 3, kAdd, 2, 0, 2}, {2, 3, kAdd, 6, 0, 8}, {0, 4, kAdd, 1, 0, 4}, {2, 3, kMul, 7, 0, 18},
           {4, 10, kAdd, 0, 25, 34}, {4, 2, kMul, 0, 25, 32}, {2, 1, kMul, 2, 0, 0}, {1, 0, kAdd, 1, 0, 0},
           {0, 2, kMul, 0, 0, 0}, {1, 1, kAdd, 0, 1 << 20, 1 << 20}}) {  // a large additive step is computed
    SCOPED_TRACE(std::to_string(capacity) + (growth == kAdd ? "+" : "*") + std::to_string(factor));
    Array<int> a(capacity, factor, growth);
    std::vector<int> values(appends + bulk);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int>(i);
    for (uint32_t i = 0; i < appends; ++i) a.Append(values[i]);
    a.Append(values.data() + appends, bulk);
    if (expected == 0) { EXPECT_EQ(Thrown([&] { a.Append(99); }), kSmaller); }  // and the contents stay
    EXPECT_EQ(a.Capacity(), expected ? expected : capacity);
    EXPECT_EQ(std::vector<int>(a.begin(), a.end()), values);
  }
  Array<char> own(16, 2, kMul);  // our own elements survive the reallocation they cause
  own.Append("0123456789abcdef", 16);
  own.Append(own[0]);
  own.Append(own.Data(), own.Count());
  EXPECT_EQ(Text(own), "0123456789abcdef00123456789abcdef0");
  using Huge = std::array<char, (size_t{1} << 40)>;  // a few billion exceed any address space
  Array<Huge> huge(0, 2, kAdd);
  EXPECT_EQ(Thrown([&] { huge.Reserve(UINT32_MAX); }), "Common\\Array: Out of memory @540");
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's allocator aborts instead of failing
  volatile uint32_t fits = static_cast<uint32_t>(Array<Huge>::kMaxCapacity);  // not folded at compile time
  EXPECT_EQ(Thrown([&] { huge.Reserve(fits); }), "Common\\Array: Out of memory @540");
#endif
  EXPECT_EQ(huge.Capacity(), 0u);
}

TEST(CommonArrayBounds, AccessEditsReserveResizeAndCopies) {
  Array<char> a(4, 5, kAdd), assigned;
  a.Append("abc", 3);
  int step = 0;  // at count inside capacity, far out, and ranges that overflow
  for (const auto& body : std::vector<std::function<void()>>{
           [&] { (void)a.At(3); }, [&] { (void)std::as_const(a)[4]; }, [&] { (void)a[UINT32_MAX]; },
           [&] { a.Insert(4, 'x'); }, [&] { a.RemoveRange(2, 2); }, [&] { a.RemoveRange(4, 0); },
           [&] { a.RemoveRange(1, UINT32_MAX); }}) {
    EXPECT_EQ(Thrown(body), kBounds) << "step " << step++;
  }
  a.Insert(1, 'X');
  a.Insert(4, 'e');  // at the end
  a.RemoveRange(2, 2);
  a.RemoveRange(3, 0);
  a.RemoveAt(0);
  EXPECT_EQ(Text(a), "Xe");
  a.Clear();
  EXPECT_EQ(Thrown([&] { a[0] = 'x'; }), kBounds);
  a.Append("xy", 2);
  std::string seen;  // only a larger capacity reallocates; new elements are zero
  for (uint32_t request : {4u, 9u, 12u}) a.Reserve(request), seen += std::to_string(a.Capacity()) + " ";
  a.Resize(4);
  EXPECT_EQ(seen + Text(a), std::string("9 9 12 xy\0\0", 11));
  a.Resize(2);
  EXPECT_TRUE(assigned.Capacity() == 16 && assigned.GrowthFactor() == 2 && assigned.Growth() == kMul) << "defaults";
  Array<char> copy(a);
  copy[0] = 'Q';
  assigned = a;
  Array<char> moved(std::move(copy));
  EXPECT_EQ(Text(a) + Text(moved) + Text(assigned), "xyQyxy");
  EXPECT_EQ(moved.Capacity() * 10 + moved.GrowthFactor(), 125u);
}

}  // namespace
}  // namespace tw

#include "common/array.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace tw {
namespace {

// Runs `body`, expecting a tw::Exception from the array with this text and line.
template <typename Body>
void ExpectArrayException(Body&& body, const std::string& message, int line) {
  try {
    body();
    ADD_FAILURE() << "no exception; expected \"" << message << "\"";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), message);
    EXPECT_STREQ(e.what(), message.c_str());
    EXPECT_EQ(e.SourceModule(), "Common\\Array");
    EXPECT_EQ(e.Line(), line);
  }
}

const char* const kOutOfBounds = "Array index out of bounds";
const char* const kSmaller = "Reallocation attempt resulted in smaller capacity; reallocation mode and factor invalid";
const char* const kOutOfMemory = "Out of memory";

TEST(CommonArrayGrowth, AdditiveGrowsByFactorWhenFull) {
  Array<int> a(2, 3, ArrayGrowth::Additive);
  EXPECT_EQ(a.Capacity(), 2u);
  a.Append(1);
  a.Append(2);
  EXPECT_EQ(a.Capacity(), 2u);
  a.Append(3);
  EXPECT_EQ(a.Capacity(), 5u);
  a.Append(4);
  a.Append(5);
  a.Append(6);
  EXPECT_EQ(a.Capacity(), 8u);
  ASSERT_EQ(a.Count(), 6u);
  for (uint32_t i = 0; i < a.Count(); ++i) EXPECT_EQ(a[i], static_cast<int>(i + 1));
}

TEST(CommonArrayGrowth, MultiplicativeGrowsByFactorWhenFull) {
  Array<char> a(2, 3, ArrayGrowth::Multiplicative);
  for (char c : std::string("abc")) a.Append(c);
  EXPECT_EQ(a.Capacity(), 6u);
  for (char c : std::string("defg")) a.Append(c);
  EXPECT_EQ(a.Capacity(), 18u);
  EXPECT_EQ(std::string(a.Data(), a.Count()), "abcdefg");
}

TEST(CommonArrayGrowth, DefaultsAreCapacity16Doubling) {
  Array<void*> a;
  EXPECT_EQ(a.Capacity(), 16u);
  EXPECT_EQ(a.GrowthFactor(), 2u);
  EXPECT_EQ(a.Growth(), ArrayGrowth::Multiplicative);
  for (int i = 0; i < 17; ++i) a.Append(nullptr);
  EXPECT_EQ(a.Capacity(), 32u);
}

TEST(CommonArrayGrowth, MultiplicativeFactorOneThrowsSmallerCapacityAndKeepsContents) {
  Array<int> a(2, 1, ArrayGrowth::Multiplicative);
  a.Append(10);
  a.Append(20);
  ExpectArrayException([&] { a.Append(30); }, kSmaller, 520);
  EXPECT_EQ(a.Count(), 2u);
  EXPECT_EQ(a.Capacity(), 2u);
  EXPECT_EQ(a[0], 10);
  EXPECT_EQ(a[1], 20);
}

TEST(CommonArrayGrowth, AdditiveFactorZeroThrowsSmallerCapacity) {
  Array<uint8_t> a(1, 0, ArrayGrowth::Additive);
  a.Append(1);
  ExpectArrayException([&] { a.Append(2); }, kSmaller, 520);
}

TEST(CommonArrayGrowth, ZeroCapacityMultiplicativeCannotGrow) {
  Array<uint8_t> a(0, 2, ArrayGrowth::Multiplicative);
  EXPECT_EQ(a.Data(), nullptr);
  ExpectArrayException([&] { a.Append(1); }, kSmaller, 520);
  EXPECT_EQ(a.Count(), 0u);
}

TEST(CommonArrayGrowth, ZeroCapacityAdditiveGrowsByFactor) {
  Array<uint8_t> a(0, 4, ArrayGrowth::Additive);
  a.Append(7);
  EXPECT_EQ(a.Capacity(), 4u);
  EXPECT_EQ(a[0], 7);
}

TEST(CommonArrayGrowth, BulkAppendStepsByTheRule) {
  Array<uint8_t> additive(4, 10, ArrayGrowth::Additive);
  std::string bytes(25, 'x');
  additive.Append(reinterpret_cast<const uint8_t*>(bytes.data()), 25);
  EXPECT_EQ(additive.Capacity(), 34u);  // 4 + 3 * 10
  EXPECT_EQ(additive.Count(), 25u);

  Array<uint8_t> multiplicative(4, 2, ArrayGrowth::Multiplicative);
  multiplicative.Append(reinterpret_cast<const uint8_t*>(bytes.data()), 25);
  EXPECT_EQ(multiplicative.Capacity(), 32u);  // 4, 8, 16, 32
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(multiplicative.Data()), 25), bytes);
}

TEST(CommonArrayGrowth, AppendOfOwnElementsSurvivesReallocation) {
  Array<int> a(4, 2, ArrayGrowth::Multiplicative);
  for (int i = 1; i <= 4; ++i) a.Append(i);
  a.Append(a[0]);                 // single element from our own full buffer
  a.Append(a.Data(), a.Count());  // the whole buffer onto itself
  ASSERT_EQ(a.Count(), 10u);
  const int expected[] = {1, 2, 3, 4, 1, 1, 2, 3, 4, 1};
  for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(a[i], expected[i]) << i;
}

TEST(CommonArrayGrowth, AdditiveStepOnLargeBulkAppendIsComputedNotLooped) {
  Array<uint8_t> a(1, 1, ArrayGrowth::Additive);
  std::string big(1 << 20, 'q');
  a.Append(reinterpret_cast<const uint8_t*>(big.data()), static_cast<uint32_t>(big.size()));
  EXPECT_EQ(a.Capacity(), big.size());
  EXPECT_EQ(a.Count(), big.size());
}

TEST(CommonArrayBounds, ReadAtCountThrowsIndexOutOfBounds) {
  Array<int> a(4, 2, ArrayGrowth::Multiplicative);
  a.Append(5);
  EXPECT_EQ(a.At(0), 5);
  ExpectArrayException([&] { (void)a.At(1); }, kOutOfBounds, 102);
  ExpectArrayException([&] { (void)a[3]; }, kOutOfBounds, 102);  // inside capacity, beyond count
  ExpectArrayException([&] { (void)a[UINT32_MAX]; }, kOutOfBounds, 102);
  const Array<int>& constant = a;
  ExpectArrayException([&] { (void)constant[1]; }, kOutOfBounds, 102);
}

TEST(CommonArrayBounds, WriteBeyondCountThrowsAndChangesNothing) {
  Array<int> a;
  ExpectArrayException([&] { a[0] = 1; }, kOutOfBounds, 102);
  EXPECT_EQ(a.Count(), 0u);
  a.Append(1);
  a[0] = 9;
  EXPECT_EQ(a[0], 9);
}

TEST(CommonArrayBounds, InsertAndRemoveCheckTheirRange) {
  Array<char> a;
  for (char c : std::string("acd")) a.Append(c);
  a.Insert(1, 'b');
  a.Insert(4, 'e');  // at the end
  EXPECT_EQ(std::string(a.Data(), a.Count()), "abcde");
  ExpectArrayException([&] { a.Insert(6, 'x'); }, kOutOfBounds, 102);
  a.RemoveRange(1, 2);
  EXPECT_EQ(std::string(a.Data(), a.Count()), "ade");
  ExpectArrayException([&] { a.RemoveRange(2, 2); }, kOutOfBounds, 102);
  ExpectArrayException([&] { a.RemoveRange(4, 0); }, kOutOfBounds, 102);
  ExpectArrayException([&] { a.RemoveRange(1, UINT32_MAX); }, kOutOfBounds, 102);
  a.RemoveRange(3, 0);
  a.RemoveAt(0);
  EXPECT_EQ(std::string(a.Data(), a.Count()), "de");
}

TEST(CommonArrayReserve, ReallocatesOnlyWhenLarger) {
  Array<int> a(8, 2, ArrayGrowth::Multiplicative);
  a.Append(1);
  a.Append(2);
  a.Reserve(4);
  EXPECT_EQ(a.Capacity(), 8u);
  a.Reserve(8);
  EXPECT_EQ(a.Capacity(), 8u);
  a.Reserve(100);
  EXPECT_EQ(a.Capacity(), 100u);
  EXPECT_EQ(a.Count(), 2u);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(a[1], 2);
}

TEST(CommonArrayReserve, ReserveMakesAFactorOneArrayUsableAgain) {
  Array<int> a(1, 1, ArrayGrowth::Multiplicative);
  a.Append(1);
  a.Reserve(3);
  a.Append(2);
  a.Append(3);
  EXPECT_EQ(a.Count(), 3u);
  ExpectArrayException([&] { a.Append(4); }, kSmaller, 520);
}

// Elements so large that a few billion of them exceed any address space.
using Huge = std::array<char, (size_t{1} << 40)>;

TEST(CommonArrayReserve, CapacityBeyondAddressSpaceThrowsOutOfMemory) {
  Array<Huge> a(0, 2, ArrayGrowth::Additive);
  ExpectArrayException([&] { a.Reserve(UINT32_MAX); }, kOutOfMemory, 540);
  EXPECT_EQ(a.Capacity(), 0u);
}

TEST(CommonArrayReserve, FailedAllocationThrowsOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator aborts instead of failing";
#else
  Array<Huge> a(0, 2, ArrayGrowth::Additive);
  // Kept from the optimiser, which would otherwise reject the huge request
  // at compile time.
  volatile uint32_t capacity = static_cast<uint32_t>(Array<Huge>::kMaxCapacity);
  ExpectArrayException([&] { a.Reserve(capacity); }, kOutOfMemory, 540);
  EXPECT_EQ(a.Capacity(), 0u);
#endif
}

TEST(CommonArrayContents, ClearKeepsCapacity) {
  Array<int> a(2, 2, ArrayGrowth::Multiplicative);
  for (int i = 0; i < 5; ++i) a.Append(i);
  a.Clear();
  EXPECT_EQ(a.Count(), 0u);
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_EQ(a.Capacity(), 8u);
  ExpectArrayException([&] { (void)a[0]; }, kOutOfBounds, 102);
}

TEST(CommonArrayContents, ResizeZeroFillsNewElements) {
  Array<void*> slots(1, 1, ArrayGrowth::Additive);
  int x = 0;
  slots.Append(&x);
  slots.Resize(5);
  ASSERT_EQ(slots.Count(), 5u);
  EXPECT_EQ(slots[0], &x);
  for (uint32_t i = 1; i < 5; ++i) EXPECT_EQ(slots[i], nullptr);
  slots.Resize(2);
  EXPECT_EQ(slots.Count(), 2u);
}

TEST(CommonArrayContents, CopiesAreIndependentAndMovesEmptyTheSource) {
  Array<char> a(2, 5, ArrayGrowth::Additive);
  for (char c : std::string("xyz")) a.Append(c);
  Array<char> copy(a);
  copy[0] = 'Q';
  EXPECT_EQ(a[0], 'x');
  EXPECT_EQ(copy.Capacity(), a.Capacity());
  EXPECT_EQ(copy.GrowthFactor(), 5u);
  EXPECT_EQ(copy.Growth(), ArrayGrowth::Additive);

  Array<char> moved(std::move(copy));
  EXPECT_EQ(std::string(moved.Data(), moved.Count()), "Qyz");
  EXPECT_EQ(copy.Count(), 0u);  // NOLINT: moved-from state is defined
  EXPECT_EQ(copy.Capacity(), 0u);

  Array<char> assigned;
  assigned = a;
  assigned = assigned;  // self-assignment keeps the contents
  EXPECT_EQ(std::string(assigned.Data(), assigned.Count()), "xyz");
}

TEST(CommonArrayContents, RangeForVisitsElementsInOrder) {
  Array<int> a;
  for (int i = 0; i < 4; ++i) a.Append(i * i);
  int sum = 0;
  for (int v : a) sum += v;
  EXPECT_EQ(sum, 0 + 1 + 4 + 9);
}

}  // namespace
}  // namespace tw

// The exported time conversions, called through the shared library as a
// host calls them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "support/test_support.h"

namespace {

using ToFileTime = uint32_t (*)(int32_t, uint64_t*);
using FromFileTime = int64_t (*)(const uint64_t*);

constexpr uint64_t kFileTimeOf1970 = 116444736000000000;

class DateExports : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(TW_TEST_LIB_DIR "/libtwstore.so", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(handle_, nullptr) << dlerror();
    toFileTime_ = reinterpret_cast<ToFileTime>(dlsym(handle_, "UnixTimeToFileTime"));
    fromFileTime_ = reinterpret_cast<FromFileTime>(dlsym(handle_, "UnixTimeFromFileTime"));
    ASSERT_NE(toFileTime_, nullptr);
    ASSERT_NE(fromFileTime_, nullptr);
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }

  tw::test::ScratchDir dir_;
  tw::test::ScopedRegistry registry_{tw::test::RegistryWithMailRoot(dir_.path())};
  void* handle_ = nullptr;
  ToFileTime toFileTime_ = nullptr;
  FromFileTime fromFileTime_ = nullptr;
};

// The conversions themselves are checked in date_texts_test.cpp and
// date_conversions_test.cpp; here the exported signatures: a 32-bit signed
// time in, a signed 64-bit time out, no crash on a null pointer.
TEST_F(DateExports, ConvertBothWaysThroughTheExports) {
  uint64_t fileTime = 1;
  EXPECT_EQ(toFileTime_(0, &fileTime), 1u);
  EXPECT_EQ(fileTime, kFileTimeOf1970);
  EXPECT_EQ(toFileTime_(INT32_MIN, &fileTime), 1u);
  EXPECT_EQ(fileTime, static_cast<uint64_t>(int64_t{INT32_MIN} + 11644473600) * 10000000u);
  EXPECT_EQ(toFileTime_(0, nullptr), 0u);
  EXPECT_EQ(fromFileTime_(nullptr), 0);
  const std::pair<uint64_t, int64_t> cases[] = {
      {kFileTimeOf1970 - 9999999, 0}, {kFileTimeOf1970 - 15000000, -1}, {0, -11644473600},
      {(uint64_t{1} << 31) * 10000000u + kFileTimeOf1970, int64_t{1} << 31}, {UINT64_MAX, 1833029933770}};
  for (const auto& [in, seconds] : cases) EXPECT_EQ(fromFileTime_(&in), seconds) << in;
  // Every 32-bit Unix time comes back as it went in.
  for (int64_t seconds = INT32_MIN; seconds <= INT32_MAX; seconds += 9999991) {
    ASSERT_EQ(toFileTime_(static_cast<int32_t>(seconds), &fileTime), 1u);
    EXPECT_EQ(fromFileTime_(&fileTime), seconds);
  }
}

}  // namespace

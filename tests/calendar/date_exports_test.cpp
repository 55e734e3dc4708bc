// The exported time conversions, called through the shared library as a
// host calls them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>

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

TEST_F(DateExports, UnixTimeToFileTime) {
  uint64_t fileTime = 1;
  EXPECT_EQ(toFileTime_(0, &fileTime), 1u);
  EXPECT_EQ(fileTime, kFileTimeOf1970);
  EXPECT_EQ(toFileTime_(1394010300, &fileTime), 1u);
  EXPECT_EQ(fileTime, 130384839000000000u);
  EXPECT_EQ(toFileTime_(INT32_MAX, &fileTime), 1u);
  EXPECT_EQ(fileTime, (uint64_t{INT32_MAX} + 11644473600u) * 10000000u);
  EXPECT_EQ(toFileTime_(INT32_MIN, &fileTime), 1u);
  EXPECT_EQ(fileTime, static_cast<uint64_t>(int64_t{INT32_MIN} + 11644473600) * 10000000u);
  EXPECT_EQ(toFileTime_(0, nullptr), 0u);
}

TEST_F(DateExports, UnixTimeFromFileTimeIsSigned64BitTruncatedTowardZero) {
  const struct {
    uint64_t fileTime;
    int64_t seconds;
  } cases[] = {
      {kFileTimeOf1970, 0},
      {130384839000000000, 1394010300},
      {kFileTimeOf1970 + 9999999, 0},
      {kFileTimeOf1970 - 9999999, 0},
      {kFileTimeOf1970 - 10000000, -1},
      {kFileTimeOf1970 - 15000000, -1},
      {0, -11644473600},
      // After 2038 and far beyond 32 bits.
      {(uint64_t{1} << 31) * 10000000u + kFileTimeOf1970, int64_t{1} << 31},
      {2650467743990000000, 253402300799},
      {UINT64_MAX, 1833029933770},
  };
  for (const auto& c : cases) EXPECT_EQ(fromFileTime_(&c.fileTime), c.seconds) << c.fileTime;
  EXPECT_EQ(fromFileTime_(nullptr), 0);
  // Every 32-bit Unix time comes back as it went in.
  for (int64_t seconds = INT32_MIN; seconds <= INT32_MAX; seconds += 9999991) {
    uint64_t fileTime = 0;
    ASSERT_EQ(toFileTime_(static_cast<int32_t>(seconds), &fileTime), 1u);
    EXPECT_EQ(fromFileTime_(&fileTime), seconds);
  }
}

}  // namespace

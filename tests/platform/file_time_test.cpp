#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/files.h"

namespace tw::platform {
namespace {

constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

// Runs the test in a fixed time zone and restores the previous one.
class PlatformFileTime : public ::testing::Test {
 protected:
  void UseZone(const char* zone) {
    if (!saved_) {
      saved_ = true;
      if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
    }
    setenv("TZ", zone, 1);
    tzset();
  }
  void TearDown() override {
    if (!saved_) return;
    if (hadOld_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  bool saved_ = false;
  bool hadOld_ = false;
  std::string old_;
};

TEST_F(PlatformFileTime, ConvertsUnixSecondsAndBack) {
  EXPECT_EQ(FileTimeFromUnix(0), kUnixEpochAsFileTime);
  EXPECT_EQ(FileTimeFromUnix(1, 500), kUnixEpochAsFileTime + 10000000 + 5);
  EXPECT_EQ(FileTimeFromUnix(1700000000, 123456789), kUnixEpochAsFileTime + 17000000000000000ull + 1234567);
  EXPECT_EQ(UnixFromFileTime(kUnixEpochAsFileTime), 0);
  EXPECT_EQ(UnixFromFileTime(FileTimeFromUnix(1700000000, 999999999)), 1700000000);
  EXPECT_EQ(UnixFromFileTime(0), -11644473600);
  EXPECT_EQ(FileTimeFromUnix(-11644473600), 0u);
  EXPECT_EQ(FileTimeFromUnix(-20000000000), 0u);  // before 1601: pinned
}

TEST_F(PlatformFileTime, CurrentTimeIsNow) {
  const uint64_t now = CurrentFileTime();
  const int64_t unixNow = static_cast<int64_t>(std::time(nullptr));
  EXPECT_LE(std::llabs(UnixFromFileTime(now) - unixNow), 1);
}

TEST_F(PlatformFileTime, PacksDosDateAndTimeInLocalTime) {
  UseZone("UTC0");
  // 2021-03-04 05:06:08 UTC
  const uint64_t t = FileTimeFromUnix(1614834368);
  const uint32_t dos = FileTimeToDosDateTime(t);
  EXPECT_EQ(dos >> 16, (41u << 9) | (3u << 5) | 4u);
  EXPECT_EQ(dos & 0xFFFF, (5u << 11) | (6u << 5) | 4u);

  UseZone("XST-2");  // two hours east of UTC
  const uint32_t shifted = FileTimeToDosDateTime(t);
  EXPECT_EQ(shifted >> 16, dos >> 16);
  EXPECT_EQ((shifted & 0xFFFF) >> 11, 7u);
}

TEST_F(PlatformFileTime, DosDateTimeRoundTrips) {
  UseZone("CET-1CEST,M3.5.0,M10.5.0/3");
  for (int64_t seconds : {int64_t{315532800 + 86400}, int64_t{1000000000}, int64_t{1614834368},
                          int64_t{1690000000}, int64_t{4102444800}}) {
    const uint64_t t = FileTimeFromUnix(seconds);
    const uint32_t dos = FileTimeToDosDateTime(t);
    // Two-second resolution.
    EXPECT_EQ(UnixFromFileTime(DosDateTimeToFileTime(dos)), seconds - seconds % 2) << seconds;
    EXPECT_EQ(FileTimeToDosDateTime(DosDateTimeToFileTime(dos)), dos) << seconds;
  }
}

TEST_F(PlatformFileTime, DosRangeIsPinnedAtItsEnds) {
  UseZone("UTC0");
  EXPECT_EQ(FileTimeToDosDateTime(FileTimeFromUnix(0)), ((1u << 5) | 1u) << 16);
  const uint32_t last = FileTimeToDosDateTime(FileTimeFromUnix(int64_t{5000000000}));
  EXPECT_EQ(last >> 16, (127u << 9) | (12u << 5) | 31u);
}

TEST_F(PlatformFileTime, EmptyDosDateReadsAsFirstOfJanuary1980) {
  UseZone("UTC0");
  EXPECT_EQ(UnixFromFileTime(DosDateTimeToFileTime(0)), 315532800);
}

}  // namespace
}  // namespace tw::platform

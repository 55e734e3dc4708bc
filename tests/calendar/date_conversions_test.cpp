// The conversions between Unix times, file times, ISO texts and header
// dates, checked against the C library's timegm and gmtime_r over random
// instants from 1601 to 9999.
#include <gtest/gtest.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <tuple>

#include "calendar/date_texts.h"
#include "calendar/header_dates.h"

namespace tw {
namespace {

constexpr int64_t kFirst = -11644473600;  // 1601-01-01T00:00:00Z
constexpr int64_t kLast = 253402300799;   // 9999-12-31T23:59:59Z
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The fields year, month, day, hour, minute, second in `format`.
std::string Printed(const char* format, const tm& t) {
  char out[128];
  std::snprintf(out, sizeof out, format, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return out;
}

TEST(DateConversionsTest, AgreeWithTheCLibraryFrom1601To9999) {
  std::mt19937_64 random(20140305);
  std::uniform_int_distribution<int64_t> instant(kFirst, kLast);
  std::uniform_int_distribution<int> offset(-14 * 60, 14 * 60);
  for (int i = 0; i < 20000; ++i) {
    const int64_t seconds = i == 0 ? kFirst : i == 1 ? kLast : instant(random);
    const time_t asTimeT = static_cast<time_t>(seconds);
    tm t{};
    ASSERT_NE(gmtime_r(&asTimeT, &t), nullptr);
    const std::string iso = Printed("%04d-%02d-%02dT%02d:%02d:%02d", t);
    SCOPED_TRACE(iso);

    // Fields and weekday.
    const CivilTime c = CivilFromUnixSeconds(seconds);
    EXPECT_EQ(std::tuple(c.year, c.month, c.day, c.hour, c.minute, c.second, c.weekday),
              std::tuple(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_wday));

    // Unix time and file time, both ways.
    const std::optional<uint64_t> fileTime = FileTimeFromUnixSeconds(seconds);
    ASSERT_TRUE(fileTime);
    EXPECT_EQ(*fileTime, static_cast<uint64_t>(seconds - kFirst) * 10000000u);
    EXPECT_EQ(UnixSecondsFromFileTime(*fileTime), seconds);
    EXPECT_EQ(UnixSecondsFromFileTime(*fileTime + 9999999), seconds >= 0 ? seconds : seconds + 1);

    // ISO text, both ways.
    EXPECT_EQ(IsoTextFromFileTime(*fileTime), iso);
    EXPECT_EQ(FileTimeFromIsoText(iso), fileTime);

    // A vCalendar local time with an offset is timegm of its fields less the
    // offset.
    const int minutes = offset(random);
    const std::string local = Printed("%04d%02d%02dT%02d%02d%02d", t) + OffsetTextFromMinutes(minutes);
    const int64_t expected = static_cast<int64_t>(timegm(&t)) - minutes * 60;
    const std::optional<uint64_t> parsed = FileTimeFromDateTimeText(local);
    if (expected < kFirst) {
      EXPECT_FALSE(parsed) << local;
    } else {
      ASSERT_TRUE(parsed) << local;
      EXPECT_EQ(UnixSecondsFromFileTime(*parsed), expected) << local;
    }

    // Header dates: written from the fields, seconds only when not 0 ("%.0d"
    // of 0 prints nothing), read back (to the minute) for the years that do
    // not have 2000 added.
    char expectedHeader[64];
    std::snprintf(expectedHeader, sizeof expectedHeader,
                  t.tm_sec ? "%02d:%02d:%02d %02d %s, %4d" : "%02d:%02d%.0d %02d %s, %4d", t.tm_hour, t.tm_min,
                  t.tm_sec, t.tm_mday, kMonths[t.tm_mon], t.tm_year + 1900);
    EXPECT_EQ(HeaderDateFromUnixTime(seconds), expectedHeader);
    if (t.tm_year + 1900 >= 1901) {
      EXPECT_EQ(UnixTimeFromHeaderDate(expectedHeader), seconds - t.tm_sec);
    }
  }
}

}  // namespace
}  // namespace tw

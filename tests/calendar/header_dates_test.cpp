#include "calendar/header_dates.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "calendar/date_texts.h"

#include "support/test_support.h"

namespace tw {
namespace {

using test::ScopedTimeZone;

TEST(HeaderDatesTest, MessageDatesInUtc) {
  ScopedTimeZone utc("UTC0");
  const struct {
    const char* text;
    const char* iso;
  } cases[] = {
      {"Tue, 5 Mar 2014 09:00:00 +0100", "2014-03-05T08:00:00"},
      {"5 Mar 2014 09:00:00 GMT", "2014-03-05T09:00:00"},
      {"  Wed , 31 Dec 2014 23:30:00 -0100 (EST)", "2015-01-01T00:30:00"},
      {"Tue, 5 march 14 09:07 +0000", "2014-03-05T09:07:00"},
      {"Fri, 29 Feb 2013 10:00:00 EST", "2013-03-01T10:00:00"},
      {"5 Foo 2014 09:00:00", "2014-12-05T09:00:00"},
      {"1 Jan 3500 10:00:00 +0100", "3500-01-01T10:00:00"},
      {"1 Jan 1960 10:00:00", "1960-01-01T10:00:00"},
      {"1 Jan 1970 00:30:00 +0100", "1970-01-01T00:30:00"},
      {"9999999999 Jan 2014 99999999999:1:1", "2014-01-999999999T999999999:01:01"},
      {"", ""},
      {"5 Mar 2014", ""},
      {"5 Mar 2014 09", ""},
      {"\xff\xfe 5 \x80 2014 1:2:3", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(IsoDateFromMessageDate(c.text), c.iso) << c.text;
}

TEST(HeaderDatesTest, MessageDateIsFieldsLessZoneAlsoInDaylightTime) {
  ScopedTimeZone cet("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(IsoDateFromMessageDate("Tue, 1 Jul 2014 12:00:00 +0200"), "2014-07-01T10:00:00");
  EXPECT_EQ(IsoDateFromMessageDate("Tue, 14 Jan 2014 12:00:00 +0000"), "2014-01-14T12:00:00");
}

// Offsets are kept per hour of UTC: a change of zone, and change-overs on
// the half hour, must still give what the C library's conversions give.
TEST(HeaderDatesTest, EachZoneAndHalfHourChangeOverGivesItsOwnTime) {
  const std::string date = "Sun, 6 Apr 2025 01:40:00 +1100";
  {
    ScopedTimeZone utc("UTC0");
    EXPECT_EQ(IsoDateFromMessageDate(date), "2025-04-05T14:40:00");
  }
  // Lord Howe Island: +11 until 2:00 on the first Sunday in April, then
  // +10:30 (01:30 to 02:00 comes twice); +10:30 until 2:00 on the first
  // Sunday in October, then +11 (02:00 to 02:30 never comes).
  ScopedTimeZone lordHowe("<+1030>-10:30<+11>-11,M10.1.0,M4.1.0");
  EXPECT_EQ(IsoDateFromMessageDate(date), "2025-04-05T15:10:00");
  EXPECT_EQ(IsoDateFromMessageDate("Sun, 6 Apr 2025 02:10:00 +1030"), "2025-04-05T16:10:00");
  EXPECT_EQ(IsoDateFromMessageDate("Sun, 6 Apr 2025 01:45:00 +0000"), "2025-04-06T01:45:00");
  EXPECT_EQ(IsoDateFromMessageDate("Sun, 5 Oct 2025 02:15:00 +0000"), "2025-10-05T02:45:00");
}

TEST(HeaderDatesTest, OutputIsBoundedByTheCapacity) {
  ScopedTimeZone utc("UTC0");
  char out[8] = "xxxxxxx";
  EXPECT_EQ(IsoDateFromMessageDate("1 Jan 3500 10:00:00", out, sizeof out), 7u);
  EXPECT_STREQ(out, "3500-01");
  EXPECT_EQ(IsoDateFromMessageDate("1 Jan 2014 10:00:00", out, 0), 0u);
  EXPECT_EQ(IsoDateFromMessageDate("junk", out, sizeof out), 0u);
  EXPECT_STREQ(out, "");
}

TEST(HeaderDatesTest, ShortHeaderDates) {
  const struct {
    const char* text;
    const char* iso;
  } cases[] = {
      {"09:05 05 Mar, 2014", "2014-03-05T09:05:00"},
      {"09:05:33 05 Mar, 2014", "2014-03-05T09:05:00"},
      {"25:61 40 Xyz, 14", "2014-12-01T00:00:00"},
      {"24:59 0 Jan, 1900", "3900-01-01T24:59:00"},
      {"0905 05 Mar, 2014", ""},
      {"09:05 05 Mar 2014", ""},
      {"09:05", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(IsoDateFromHeaderDate(c.text), c.iso) << c.text;
}

// Ordinary instants both ways are in date_conversions_test.cpp.
TEST(HeaderDatesTest, ShortHeaderDatesAcrossTheEdges) {
  EXPECT_EQ(HeaderDateFromUnixTime(-1), "23:59:59 31 Dec, 1969");
  EXPECT_EQ(HeaderDateFromUnixTime(INT32_MAX), "03:14:07 19 Jan, 2038");
  EXPECT_EQ(HeaderDateFromUnixTime(int64_t{INT32_MAX} + 1), "03:14:08 19 Jan, 2038");
  // Seconds are not read; an hour of 24 is the next midnight.
  EXPECT_EQ(UnixTimeFromHeaderDate("24:00 05 Mar, 2014"), 1394064000);
  EXPECT_EQ(UnixTimeFromHeaderDate("09:05:07 05 Mar, 14"), 1394010300);
  EXPECT_EQ(UnixTimeFromHeaderDate("00:00 31 Dec, 9999"), 253402214400);
  for (const char* text : {"", "09:05", "09:05 05 Mar 2014", "0905 05 Mar, 2014", "09:05 05 Mar, 10000",
                           "09:05 05 Mar, 999999999999"})
    EXPECT_EQ(UnixTimeFromHeaderDate(text), std::nullopt) << text;
}

TEST(HeaderDatesTest, MessageDatesCarryTheLocalOffsetOfTheirTime) {
  const int64_t march = 1394010300;  // 2014-03-05 09:05:00 UTC, a Wednesday
  const int64_t july = 1404205500;   // 2014-07-01 09:05:00 UTC, a Tuesday
  const struct {
    const char* zone;
    int64_t time;
    const char* date;
  } cases[] = {
      {"UTC0", march, "Wed, 5 Mar 2014 09:05:00 +0000"},
      {"UTC0", -11644473600, "Mon, 1 Jan 1601 00:00:00 +0000"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", march, "Wed, 5 Mar 2014 10:05:00 +0100"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", july, "Tue, 1 Jul 2014 11:05:00 +0200"},
      {"EST5EDT,M3.2.0,M11.1.0", july, "Tue, 1 Jul 2014 05:05:00 -0400"},
      {"<-0330>3:30", march, "Wed, 5 Mar 2014 05:35:00 -0330"},
      {"<+0530>-5:30", march, "Wed, 5 Mar 2014 14:35:00 +0530"},
  };
  for (const auto& c : cases) {
    ScopedTimeZone zone(c.zone);
    EXPECT_EQ(MessageDateFromUnixTime(c.time), c.date) << c.zone;
  }
}

TEST(HeaderDatesTest, CurrentMessageDateReadsBackAsNow) {
  ScopedTimeZone cet("CET-1CEST,M3.5.0,M10.5.0/3");
  const int64_t before = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
  const std::string date = CurrentMessageDate();
  const std::string localIso = IsoDateFromMessageDate(date);
  ASSERT_FALSE(localIso.empty()) << date;
  // Read back in the zone it was written in, then as UTC from its own offset.
  ScopedTimeZone utc("UTC0");
  const std::optional<uint64_t> fileTime = FileTimeFromIsoText(IsoDateFromMessageDate(date));
  ASSERT_TRUE(fileTime) << date;
  const int64_t written = UnixSecondsFromFileTime(*fileTime);
  EXPECT_GE(written, before - 1) << date;
  EXPECT_LE(written, before + 60) << date;
}

}  // namespace
}  // namespace tw

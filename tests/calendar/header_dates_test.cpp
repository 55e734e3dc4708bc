#include "calendar/header_dates.h"

#include <gtest/gtest.h>

#include <string>

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
      {"Tue,", ""},
      {"5 Mar", ""},
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

}  // namespace
}  // namespace tw

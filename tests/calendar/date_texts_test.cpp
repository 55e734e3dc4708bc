#include "calendar/date_texts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tw {
namespace {

// The UTC text of a date-time read with an optional offset; "fail" when it
// does not convert.
std::string Utc(std::string_view text, std::string_view offset = {}) {
  const std::optional<uint64_t> fileTime = FileTimeFromDateTimeText(text, offset);
  return fileTime ? IsoTextFromFileTime(*fileTime) : "fail";
}

// Whole-offset basic forms over the full range are in date_conversions_test.cpp.
TEST(DateTimeTextTest, ReadsFormsOffsetsAndGivenOffsets) {
  const struct {
    const char* text;
    const char* offset;
    const char* utc;
  } cases[] = {
      {"20140305", "", "2014-03-05T00:00:00"},
      {"20140305T0900", "", "2014-03-05T09:00:00"},
      {"2014-03-05T09:05:07", "", "2014-03-05T09:05:07"},
      {"2014-03-05 09:05", "", "2014-03-05T09:05:00"},
      {"20140305T090000.123Z", "", "2014-03-05T09:00:00"},
      {"  20140305T090000Z\r\n", "", "2014-03-05T09:00:00"},
      {"2016-02-29", "", "2016-02-29T00:00:00"},
      {"16010101T000000Z", "", "1601-01-01T00:00:00"},
      {"99991231T235959Z", "", "9999-12-31T23:59:59"},
      {"20140305T090000-0500", "", "2014-03-05T14:00:00"},
      // A colon in the offset keeps its sign (the dashes of the date go).
      {"2014-03-05T09:00:00-05:00", "", "2014-03-05T14:00:00"},
      {"2014-03-05T09:00:00+05:30", "", "2014-03-05T03:30:00"},
      {"2014-03-05T09:00-05:00", "", "2014-03-05T14:00:00"},
      {"20140305T090000+05", "", "2014-03-05T04:00:00"},  // two digits are hours
      // A given offset replaces the text's own, except for "Z" and bare dates.
      {"20140305T090000", "-05:00", "2014-03-05T14:00:00"},
      {"20140305T090000", "GMT", "2014-03-05T09:00:00"},
      {"20140305T090000+0200", "+0100", "2014-03-05T08:00:00"},
      {"20140305T090000Z", "+0100", "2014-03-05T09:00:00"},
      {"20140305", "+0100", "2014-03-05T00:00:00"},
      {"20140305+0100", "", "2014-03-05T00:00:00"},
      {"2014-03-05-05:00", "", "2014-03-05T00:00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utc(c.text, c.offset), c.utc) << c.text << " " << c.offset;
}

TEST(DateTimeTextTest, FieldsTellTheZoneAndWhetherThereIsATime) {
  std::optional<DateTimeFields> f = ReadDateTimeText("20140305T090000-0530");
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->hasTime);
  EXPECT_EQ(f->zone, DateTimeZone::kOffset);
  EXPECT_EQ(f->offsetMinutes, -330);
  EXPECT_EQ(ReadDateTimeText("20140305T090000Z")->zone, DateTimeZone::kUtc);
  // A local time holds dashes in its date, yet has no zone.
  EXPECT_EQ(ReadDateTimeText("2014-03-05T09:00:00")->zone, DateTimeZone::kLocal);
  f = ReadDateTimeText("20140305+0100");
  ASSERT_TRUE(f);
  EXPECT_FALSE(f->hasTime);
  EXPECT_EQ(f->zone, DateTimeZone::kLocal);
}

TEST(DateTimeTextTest, BadTextsFail) {
  for (const char* text : {"", "2014", "2014030", "2014O305", "20141305", "20140332", "20140431", "20150229",
                           "20140305T250000", "20140305T240000", "20140305T096000", "20140305T09", "00000101",
                           "16001231T235959Z", "20140305T090000+9999", "20140305T090000GMT",
                           "20140305T090000+", "20140305T090000 junk", "2014030509", "20140305T090000ZZ",
                           "-20140305", "2014-03-05T09:00:00-5:0"})
    EXPECT_EQ(Utc(text), "fail") << text;
  // An offset that takes the time before 1601 fails too.
  EXPECT_EQ(Utc("16010101T000000", "+0100"), "fail");
  // A given offset that does not read fails rather than being taken as UTC.
  for (const char* offset : {"+9999", "+2400", "EST", "1:2", "+05:300", "+0100x"})
    EXPECT_EQ(Utc("20140305T090000", offset), "fail") << offset;
}

TEST(DateTimeTextTest, OnlyTheFirst127CharactersAreRead) {
  std::string text = "20140305T090000";
  text.append(kDateTimeTextLimit - text.size(), ' ');
  EXPECT_EQ(Utc(text + "junk"), "2014-03-05T09:00:00");
  EXPECT_EQ(Utc(text.substr(0, text.size() - 1) + "junk"), "fail");
  EXPECT_EQ(Utc(std::string(100000, '9')), "fail");
  EXPECT_EQ(Utc(std::string("20140305T090000\0+0100", 21)), "fail");
}

// Ordinary instants both ways are in date_conversions_test.cpp.
TEST(FileTimeTest, EdgesOfTheRange) {
  // The largest file time lies in the year 60056: written whole, not cut.
  EXPECT_EQ(IsoTextFromFileTime(UINT64_MAX), "60056-05-28T05:36:10");
  EXPECT_EQ(UnixSecondsFromFileTime(UINT64_MAX), 1833029933770);
  // Truncated toward zero on both sides of 1970.
  EXPECT_EQ(UnixSecondsFromFileTime(116444736000000000 - 15000000), -1);
  EXPECT_EQ(UnixSecondsFromFileTime(116444736000000000 - 5000000), 0);
  EXPECT_EQ(FileTimeFromUnixSeconds(-11644473601), std::nullopt);
  EXPECT_EQ(FileTimeFromUnixSeconds(INT64_MAX), std::nullopt);
}

TEST(OffsetTextTest, ReadsEachForm) {
  const struct {
    const char* text;
    OffsetRead read;
    int minutes;
  } cases[] = {
      {"0200", OffsetRead::kMinutes, 120},    {"+530", OffsetRead::kMinutes, 330},
      {"-05:00", OffsetRead::kMinutes, -300}, {"+5:45", OffsetRead::kMinutes, 345},
      {"+05", OffsetRead::kMinutes, 300},     {"-5", OffsetRead::kMinutes, -300},
      {"+001932", OffsetRead::kMinutes, 19},  {"-00:17:30", OffsetRead::kMinutes, -17},
      {" gmt ", OffsetRead::kMinutes, 0},     {"Z", OffsetRead::kMinutes, 0},
      {"-0000", OffsetRead::kMinutes, 0},     {"   ", OffsetRead::kNone, 0},
      {"+9999", OffsetRead::kInvalid, 0},     {"+0160", OffsetRead::kInvalid, 0},
      {"EST", OffsetRead::kInvalid, 0},       {"+", OffsetRead::kInvalid, 0},
      {"+-0100", OffsetRead::kInvalid, 0},    {"+01000", OffsetRead::kInvalid, 0},
      {"+1:5", OffsetRead::kInvalid, 0},      {"+100:00", OffsetRead::kInvalid, 0},
      {"+12345678901234567890", OffsetRead::kInvalid, 0},
  };
  for (const auto& c : cases) {
    const OffsetText read = ReadOffsetText(c.text);
    EXPECT_EQ(read.read, c.read) << c.text;
    EXPECT_EQ(read.minutes, c.minutes) << c.text;
  }
}

TEST(OffsetTextTest, WritesSignAndHhmmAndReadsBack) {
  EXPECT_EQ(OffsetTextFromMinutes(0), "+0000");
  EXPECT_EQ(OffsetTextFromMinutes(-330), "-0530");
  EXPECT_EQ(OffsetTextFromMinutes(-1), "-0001");
  EXPECT_EQ(OffsetTextFromMinutes(INT32_MIN), "-3579139408");
  for (int minutes = -1439; minutes <= 1439; ++minutes) {
    const OffsetText back = ReadOffsetText(OffsetTextFromMinutes(minutes));
    ASSERT_EQ(back.read, OffsetRead::kMinutes) << minutes;
    EXPECT_EQ(back.minutes, minutes);
  }
}

TEST(DurationTest, ReadsEachUnit) {
  const std::pair<const char*, int> cases[] = {
      {"PT1H30M", 5400}, {"-PT15M", -900},          {"+PT2H", 7200}, {"pt45m\r\n", 2700},
      {"P2W", 1209600},  {"P1DT12H", 129600},       {"PT90S", 90},   {"PT1H0M5S", 3605},
      {"PT0S", 0},       {"-P1W2DT3H4M5S", -788645}, {"PT2147483647S", 2147483647}};
  for (const auto& [text, seconds] : cases) EXPECT_EQ(DurationSeconds(text), seconds) << text;
}

TEST(DurationTest, NonDurationsAreOneHour) {
  for (const char* text : {"", "P", "PT", "-", "+", "-P", "1H", "P1H", "PT1D", "P1DT", "PT1H1H", "PT1M1H",
                           "P1D1W", "PTH", "P-1D", "PT1.5H", "PT1H junk", "X", "PT99999999999S",
                           "P99999999999999999999W", "P3551W", "--PT1H", "PT2147483648S"})
    EXPECT_EQ(DurationSeconds(text), 3600) << text;
}

}  // namespace
}  // namespace tw

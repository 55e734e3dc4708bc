#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "calendar/time_zone_block.h"
#include "calendar/time_zone_offsets.h"
#include "support/local_time.h"

namespace tw {
namespace {

// As a desktop client exports it: yearly rules, CRLF lines.
constexpr const char* kOutlookEastern =
    "BEGIN:VCALENDAR\r\nBEGIN:VTIMEZONE\r\nTZID:Eastern Standard Time\r\n"
    "BEGIN:STANDARD\r\nDTSTART:16010101T020000\r\nTZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\n"
    "RRULE:FREQ=YEARLY;BYDAY=1SU;BYMONTH=11\r\nEND:STANDARD\r\n"
    "BEGIN:DAYLIGHT\r\nDTSTART:16010101T020000\r\nTZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\n"
    "RRULE:FREQ=YEARLY;BYDAY=2SU;BYMONTH=3\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
    "BEGIN:VEVENT\r\nDTSTART;TZID=Eastern Standard Time:20140305T090000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";

// As a web calendar exports it: names, X- properties, LF lines, a southern
// zone whose daylight time spans the new year.
constexpr const char* kGoogleSydney =
    "BEGIN:VTIMEZONE\nTZID:Australia/Sydney\nX-LIC-LOCATION:Australia/Sydney\n"
    "BEGIN:STANDARD\nTZOFFSETFROM:+1100\nTZOFFSETTO:+1000\nTZNAME:AEST\nDTSTART:19700405T030000\n"
    "RRULE:FREQ=YEARLY;BYMONTH=4;BYDAY=1SU\nEND:STANDARD\n"
    "BEGIN:DAYLIGHT\nTZOFFSETFROM:+1000\nTZOFFSETTO:+1100\nTZNAME:AEDT\nDTSTART:19701004T020000\n"
    "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=1SU\nEND:DAYLIGHT\nEND:VTIMEZONE\n";

// US rules before and after 2007, one block of each kind per rule set.
constexpr const char* kUsByYear =
    "BEGIN:VTIMEZONE\nTZID:US/Eastern\n"
    "BEGIN:DAYLIGHT\nDTSTART:19870405T020000\nRRULE:FREQ=YEARLY;BYMONTH=4;BYDAY=1SU;UNTIL=20060402T070000Z\n"
    "TZOFFSETFROM:-0500\nTZOFFSETTO:-0400\nEND:DAYLIGHT\n"
    "BEGIN:STANDARD\nDTSTART:19671029T020000\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU;UNTIL=20061029T060000Z\n"
    "TZOFFSETFROM:-0400\nTZOFFSETTO:-0500\nEND:STANDARD\n"
    "BEGIN:DAYLIGHT\nDTSTART:20070311T020000\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\n"
    "TZOFFSETFROM:-0500\nTZOFFSETTO:-0400\nEND:DAYLIGHT\n"
    "BEGIN:STANDARD\nDTSTART:20071104T020000\nRRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\n"
    "TZOFFSETFROM:-0400\nTZOFFSETTO:-0500\nEND:STANDARD\nEND:VTIMEZONE\n";

using test::LocalTime;

// The offset each block gives at each local time.
void ExpectOffsets(const TimeZoneRecord& zone, std::initializer_list<std::pair<SystemTime, const char*>> cases) {
  for (const auto& [time, offset] : cases)
    EXPECT_EQ(VCalendar_GetApplicableOffsetString(zone, time), offset)
        << time.year << "-" << time.month << "-" << time.day << " " << time.hour << ":" << time.minute;
}

TEST(TimeZoneBlockTest, ReadsAClientBlockWithYearlyRules) {
  const auto zone = VCalendar_ParseTimeZoneBlock(kOutlookEastern);
  ASSERT_TRUE(zone);
  EXPECT_EQ(zone->name, "Eastern Standard Time");
  EXPECT_EQ(zone->standard.offsetFrom, "-0400");
  const auto march = VCalendar_GetTZChangeOver(zone->daylight, 2014);
  ASSERT_TRUE(march);
  EXPECT_EQ(march->month, 3);
  EXPECT_EQ(march->day, 9);  // second Sunday
  EXPECT_EQ(march->hour, 2);
  EXPECT_EQ(VCalendar_GetTZChangeOver(zone->standard, 2014)->day, 2);
  EXPECT_EQ(VCAL_ApplyTimeZoneSection("20140305T090000", *zone), "20140305T090000-0500");
  EXPECT_EQ(VCAL_ApplyTimeZoneSection("2014-07-05T09:00:00", *zone), "2014-07-05T09:00:00-0400");
}

TEST(TimeZoneBlockTest, SouthernDaylightTimeSpansTheNewYear) {
  const auto zone = VCalendar_ParseTimeZoneBlock(kGoogleSydney);
  ASSERT_TRUE(zone);
  EXPECT_EQ(zone->name, "Australia/Sydney");
  // 7 April 2024 03:00 daylight clock: the repeated hour 02:00-03:00 is
  // daylight time; 6 October 02:00: the skipped hour takes the offset after.
  ExpectOffsets(*zone, {{LocalTime(2024, 1, 15, 12), "+1100"}, {LocalTime(2024, 7, 1, 12), "+1000"},
                        {LocalTime(2024, 12, 25, 12), "+1100"}, {LocalTime(2024, 4, 7, 2, 30), "+1100"},
                        {LocalTime(2024, 4, 7, 3, 0), "+1000"}, {LocalTime(2024, 10, 6, 1, 59), "+1000"},
                        {LocalTime(2024, 10, 6, 2, 30), "+1100"}});
}

TEST(TimeZoneBlockTest, SeveralBlocksOfAKindApplyFromTheirStart) {
  const auto zone = VCalendar_ParseTimeZoneBlock(kUsByYear);
  ASSERT_TRUE(zone);
  // 25 March and 1 November: the 2007 rules apply from 2007 on only; before
  // every block, the earliest ones.
  ExpectOffsets(*zone, {{LocalTime(2006, 3, 25, 12), "-0500"}, {LocalTime(2007, 3, 25, 12), "-0400"},
                        {LocalTime(2006, 11, 1, 12), "-0500"}, {LocalTime(2008, 11, 1, 12), "-0400"},
                        {LocalTime(1960, 7, 1, 12), "-0400"}});
  // Blocks without rules change at their start.
  const auto berlin = VCalendar_ParseTimeZoneBlock(
      "BEGIN:VTIMEZONE\nTZID:Europe/Berlin\n"
      "BEGIN:DAYLIGHT\nDTSTART:20240331T020000\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0200\nEND:DAYLIGHT\n"
      "BEGIN:STANDARD\nDTSTART:20241027T030000\nTZOFFSETFROM:+0200\nTZOFFSETTO:+0100\nEND:STANDARD\n"
      "BEGIN:STANDARD\nDTSTART:20231029T030000\nTZOFFSETFROM:+0200\nTZOFFSETTO:+0100\nEND:STANDARD\n"
      "END:VTIMEZONE\n");
  ASSERT_TRUE(berlin);
  ExpectOffsets(*berlin, {{LocalTime(2024, 1, 10, 9), "+0100"}, {LocalTime(2024, 6, 10, 9), "+0200"},
                          {LocalTime(2024, 11, 10, 9), "+0100"}, {LocalTime(2023, 6, 10, 9), "+0200"}});
}

TEST(TimeZoneBlockTest, TheTzidPicksTheBlockAndNamesComeWithDefaults) {
  const std::string two = std::string(kGoogleSydney) + kOutlookEastern;
  EXPECT_EQ(VCalendar_ParseTimeZoneBlock(two)->name, "Australia/Sydney");
  EXPECT_EQ(VCalendar_ParseTimeZoneBlock(two, "eastern standard time")->name, "Eastern Standard Time");
  EXPECT_EQ(VCalendar_ParseTimeZoneBlock(two, "\"Australia/Sydney\"")->name, "Australia/Sydney");
  EXPECT_FALSE(VCalendar_ParseTimeZoneBlock(two, "Europe/Paris"));
  EXPECT_FALSE(VCalendar_ParseTimeZoneBlock("BEGIN:VEVENT\nEND:VEVENT\n"));
  const auto unnamed = VCalendar_ParseTimeZoneBlock(
      "BEGIN:VTIMEZONE\nBEGIN:STANDARD\nTZOFFSETTO:+0300\nEND:STANDARD\nEND:VTIMEZONE\n");
  ASSERT_TRUE(unnamed);
  EXPECT_EQ(unnamed->name, "Unnamed");
  EXPECT_EQ(VCAL_ApplyTimeZoneSection("20140305T090000", *unnamed), "20140305T090000+0300");
  const auto longName = VCalendar_ParseTimeZoneBlock("BEGIN:VTIMEZONE\nTZID:" + std::string(1000, 'x') +
                                                     "\nEND:VTIMEZONE\n");
  EXPECT_EQ(longName->name.size(), 259u);
  EXPECT_EQ(TimeZoneRecord{}.name, "Unspecified");
}

TEST(TimeZoneBlockTest, VCalendarOneTzIsAFixedOffset) {
  for (const auto& [text, offset] : std::vector<std::pair<std::string, std::string>>{
           {"BEGIN:VCALENDAR\nVERSION:1.0\nTZ:-05\nEND:VCALENDAR\n", "-0500"}, {"TZ:+05:30\n", "+0530"}}) {
    const auto zone = VCalendar_ParseTimeZoneBlock(text);
    ASSERT_TRUE(zone) << text;
    EXPECT_EQ(VCAL_ApplyTimeZoneSection("20140305T090000", *zone), "20140305T090000" + offset) << text;
  }
  EXPECT_FALSE(VCalendar_ParseTimeZoneBlock("TZ:GMT+99\n"));
}

TEST(TimeZoneBlockTest, AbsoluteTextsAndBareDatesStayAsTheyAre) {
  const auto zone = VCalendar_ParseTimeZoneBlock(kOutlookEastern);
  ASSERT_TRUE(zone);
  for (const char* text : {"20140305T090000Z", "20140305T090000+0100", "2014-03-05T09:00:00-05:00", "20140305",
                           "2014-03-05", "not a date", "", "20141305T090000"})
    EXPECT_EQ(VCAL_ApplyTimeZoneSection(text, *zone), text);
  // Dashes in the date do not make a local time absolute.
  EXPECT_EQ(VCAL_ApplyTimeZoneSection("2014-03-05T09:00:00 ", *zone), "2014-03-05T09:00:00-0500");
  // No room left under the 127-character cut.
  const std::string padded = "20140305T090000" + std::string(120, ' ');
  EXPECT_EQ(VCAL_ApplyTimeZoneSection(padded, *zone), "20140305T090000-0500");
}

TEST(TimeZoneBlockTest, HostileBlocksFailQuietly) {
  // No END lines: what was read still counts.
  const auto open = VCalendar_ParseTimeZoneBlock("BEGIN:VTIMEZONE\nTZID:X\nBEGIN:STANDARD\nTZOFFSETTO:+0100");
  ASSERT_TRUE(open);
  EXPECT_EQ(open->standard.offsetTo, "+0100");
  // No offsets: no offset (UTC).
  const auto bare =
      VCalendar_ParseTimeZoneBlock("BEGIN:VTIMEZONE\nTZID:X\nBEGIN:DAYLIGHT\nEND:DAYLIGHT\nEND:VTIMEZONE");
  ASSERT_TRUE(bare);
  EXPECT_EQ(VCAL_ApplyTimeZoneSection("20140305T090000", *bare), "20140305T090000");
  // Offsets out of range are dropped.
  const auto wild = VCalendar_ParseTimeZoneBlock(
      "BEGIN:VTIMEZONE\nBEGIN:STANDARD\nTZOFFSETFROM:GMT\nTZOFFSETTO:+9999\nEND:STANDARD\nEND:VTIMEZONE");
  EXPECT_EQ(wild->standard.offsetTo, "");
  EXPECT_EQ(wild->standard.offsetFrom, "+0000");
  // Thousands of blocks are bounded; folded lines are unfolded.
  std::string many = "BEGIN:VTIMEZONE\nTZID:Many\n";
  for (int i = 0; i < 5000; ++i)
    many += "BEGIN:STANDARD\nDTSTART:2000010" + std::to_string(i % 9 + 1) +
            "T000000\nTZOFFSETTO:+01\n 00\nEND:STANDARD\n";
  const auto bounded = VCalendar_ParseTimeZoneBlock(many + "END:VTIMEZONE\n");
  ASSERT_TRUE(bounded);
  EXPECT_LE(bounded->earlierStandards.size(), 64u);
  EXPECT_EQ(bounded->standard.offsetTo, "+0100");
}

TEST(TimeZoneBlockTest, UnformableChangeOversPrintTheirError) {
  auto zone = *VCalendar_ParseTimeZoneBlock(kOutlookEastern);
  zone.standard.rule->type = kRecurMonthlyByDay;
  testing::internal::CaptureStdout();
  EXPECT_EQ(VCalendar_GetApplicableOffsetString(zone, LocalTime(2014, 7, 1, 9)), "-0500");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error Occurred Converting StandardChangeOver::SystemTimeToFileTime: 87\n");
  zone = *VCalendar_ParseTimeZoneBlock(kOutlookEastern);
  zone.daylight.rule->type = kRecurYearlyByDate;
  zone.daylight.rule->dayOfMonth = 31;
  zone.daylight.rule->monthOfYear = 2;
  testing::internal::CaptureStdout();
  VCalendar_GetApplicableOffsetString(zone, LocalTime(2014, 7, 1, 9));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error Occurred Converting DaylightChangeOver::SystemTimeToFileTime: 87\n");
}

TEST(TimeZoneBlockTest, ChangeOverPositions) {
  TimeZoneSection section;
  section.changeOver.hour = 1;
  section.rule = RecurrencePattern{.type = kRecurYearlyByPosition, .dayOfWeekMask = 1, .monthOfYear = 3};  // Sunday
  const auto dayOf = [&](int instance, int year) {
    section.rule->instance = instance;
    return VCalendar_GetTZChangeOver(section, year)->day;
  };
  EXPECT_EQ(dayOf(-1, 2024), 31);  // last Sunday
  EXPECT_EQ(dayOf(5, 2024), 31);   // fifth is the last
  EXPECT_EQ(dayOf(5, 2023), 26);   // beyond the month's count: the last
  EXPECT_EQ(dayOf(0, 2023), 26);
  EXPECT_EQ(dayOf(1, 2023), 5);
  section.rule->dayOfWeekMask = 0;
  EXPECT_FALSE(VCalendar_GetTZChangeOver(section, 2023));
  section.rule->type = kRecurYearlyByDate;
  section.rule->dayOfMonth = 29;
  section.rule->monthOfYear = 2;
  EXPECT_TRUE(VCalendar_GetTZChangeOver(section, 2024));
  EXPECT_FALSE(VCalendar_GetTZChangeOver(section, 2023));
}

}  // namespace
}  // namespace tw

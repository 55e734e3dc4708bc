#include <gtest/gtest.h>

#include <tuple>

#include "calendar/date_texts.h"
#include "calendar/recurrence_pattern.h"

namespace tw {
namespace {

// Wednesday 5 March 2014, 09:00.
constexpr SystemTime kStart{2014, 3, 3, 5, 9, 0, 0, 0};

RecurrencePattern Rule(std::string_view rule, std::string_view offset = {}) {
  const std::optional<RecurrencePattern> pattern = PatternFromICalendarRule(rule, kStart, offset);
  EXPECT_TRUE(pattern) << rule;
  return pattern.value_or(RecurrencePattern{});
}

uint64_t FileTime(std::string_view text) { return FileTimeFromDateTimeText(text).value(); }

// Ordinary rules as clients write them are in recurrence_rule_table_test.cpp.
TEST(ICalendarRuleTest, ReadsPartsLooselyWritten) {
  const RecurrencePattern p = Rule("rrule:freq=weekly;\r\n INTERVAL=3;;junk;=4;COUNT=2;WKST=su");
  EXPECT_EQ(std::tuple(p.type, p.interval, p.weekStart, p.hasEnd), std::tuple(kRecurWeekly, 3, 1u, 1));
}

TEST(ICalendarRuleTest, LocalUntilTakesTheOffsetButUtcAndDatesDoNot) {
  EXPECT_EQ(Rule("FREQ=DAILY;UNTIL=20140310T090000", "+0100").until, FileTime("20140310T080000Z"));
  EXPECT_EQ(Rule("FREQ=DAILY;UNTIL=20140310T090000Z", "+0100").until, FileTime("20140310T090000Z"));
  EXPECT_EQ(Rule("FREQ=DAILY;UNTIL=20140310", "-0500").until, FileTime("20140310T000000Z"));
  // An offset that does not read leaves a local end as UTC, not lost.
  EXPECT_EQ(Rule("FREQ=DAILY;UNTIL=20140310T090000", "+9999").until, FileTime("20140310T090000Z"));
  // An end that does not read is no end.
  EXPECT_EQ(Rule("FREQ=DAILY;UNTIL=20141310T090000").hasEnd, 0);
}

TEST(ICalendarRuleTest, MondayToFridayIsWeeklyOnlyWithoutAPosition) {
  // Type, interval, instance, mask; the last one is the last weekday of the month.
  const auto read = [](std::string_view rule) {
    const RecurrencePattern p = Rule(rule);
    return std::tuple(p.type, p.interval, p.instance, p.dayOfWeekMask);
  };
  EXPECT_EQ(read("FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR"), std::tuple(kRecurWeekly, 0, 0, kWeekdaysMask));
  EXPECT_EQ(read("FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,TU,WE,TH,FR"), std::tuple(kRecurWeekly, 2, 0, kWeekdaysMask));
  EXPECT_EQ(read("FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1"),
            std::tuple(kRecurMonthlyByPosition, 1, -1, kWeekdaysMask));
}

TEST(ICalendarRuleTest, APatternKeepsOneDayOfMonthFromTheStartOrTheList) {
  EXPECT_EQ(Rule("FREQ=MONTHLY;BYDAY=+1TU,+3TU").instance, 1);
  EXPECT_EQ(Rule("FREQ=MONTHLY;BYMONTHDAY=-2").dayOfMonth, 5);
  EXPECT_EQ(Rule("FREQ=MONTHLY;BYMONTHDAY=1,15").dayOfMonth, 1);
  EXPECT_EQ(Rule("FREQ=YEARLY;BYMONTH=7").dayOfMonth, 5);
}

TEST(ICalendarRuleTest, UnknownOrMissingFrequencyIsNoRecurrence) {
  for (std::string_view rule : {"FREQ=HOURLY", "FREQ=SECONDLY;COUNT=3", "FREQ=MINUTELY", "FREQ=", "FREQ=DAILYX",
                                "INTERVAL=2;BYDAY=MO", "", ";;;", "FREQ"})
    EXPECT_FALSE(PatternFromICalendarRule(rule, kStart)) << rule;
}

TEST(ICalendarRuleTest, OutOfRangeNumbersAndBadDaysAreIgnored) {
  const RecurrencePattern big = Rule("FREQ=DAILY;INTERVAL=99999999999;COUNT=-3");
  EXPECT_EQ(std::tuple(big.interval, big.count, big.hasEnd), std::tuple(1, 0, 0));
  for (const char* rule : {"FREQ=DAILY;INTERVAL=0", "FREQ=DAILY;INTERVAL=2x"}) EXPECT_EQ(Rule(rule).interval, 1);
  EXPECT_EQ(Rule("FREQ=DAILY;COUNT=2147483647").count, 2147483647);
  EXPECT_EQ(Rule("FREQ=DAILY;COUNT=2147483648").count, 0);

  const RecurrencePattern badDays = Rule("FREQ=WEEKLY;BYDAY=XX,MO,99TU,1,,-,MOTU");
  EXPECT_EQ(std::tuple(badDays.dayOfWeekMask, badDays.instance), std::tuple(2u, 0));
  EXPECT_EQ(Rule("FREQ=MONTHLY;BYMONTH=13;BYMONTHDAY=32").monthOfYear, 0);
  EXPECT_EQ(Rule("FREQ=MONTHLY;BYSETPOS=0").type, kRecurMonthlyByDay);
}

TEST(ICalendarRuleTest, ThousandsOfPartsReadInOnePass) {
  std::string rule = "FREQ=WEEKLY";
  for (int i = 0; i < 5000; ++i) rule += ";BYDAY=MO;X-PART=" + std::to_string(i);
  rule += ";INTERVAL=3";
  const RecurrencePattern p = Rule(rule);
  EXPECT_EQ(std::tuple(p.dayOfWeekMask, p.interval), std::tuple(2u, 3));
}

}  // namespace
}  // namespace tw

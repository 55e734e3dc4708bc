#include <gtest/gtest.h>

#include "calendar/date_texts.h"
#include "calendar/recurrence_pattern.h"

namespace tw {
namespace {

// Wednesday 5 March 2014, 09:00.
constexpr SystemTime kStart{2014, 3, 3, 5, 9, 0, 0, 0};

RecurrencePattern Rule(std::string_view rule, std::string_view offset = {}) {
  const std::optional<RecurrencePattern> pattern = PatternFromVCalendarRule(rule, kStart, offset);
  EXPECT_TRUE(pattern) << rule;
  return pattern.value_or(RecurrencePattern{});
}

uint64_t FileTime(std::string_view text) { return FileTimeFromDateTimeText(text).value(); }

TEST(VCalendarRuleTest, ACountWithoutEndDateRunsToTheFarEnd) {
  RecurrencePattern expected;
  expected.type = kRecurWeekly;
  expected.interval = 1;
  expected.dayOfWeekMask = 2 | 8;
  expected.count = 10;
  expected.hasEnd = 1;
  expected.until = FileTime("45010101T000000Z");
  EXPECT_EQ(Rule("W1 MO WE #10"), expected);

  const RecurrencePattern dated = Rule("W2 TU #5 20141231T000000", "+0100");
  EXPECT_EQ(dated.count, 5);
  EXPECT_EQ(dated.until, FileTime("20141230T230000Z"));
}

TEST(VCalendarRuleTest, EndsForeverAndByDate) {
  const RecurrencePattern forever = Rule("D2 #0");
  EXPECT_EQ(forever.type, kRecurDaily);
  EXPECT_EQ(forever.interval, 2);
  EXPECT_EQ(forever.hasEnd, 0);
  EXPECT_EQ(forever.until, 0u);

  const RecurrencePattern open = Rule("D1");
  EXPECT_EQ(open.hasEnd, 0);

  const RecurrencePattern byDate = Rule("D1 19991231T000000Z");
  EXPECT_EQ(byDate.hasEnd, 1);
  EXPECT_EQ(byDate.count, 0);
  EXPECT_EQ(byDate.until, FileTime("19991231T000000Z"));
  // Day tokens hold a "T" too; they are days, not dates.
  EXPECT_EQ(Rule("W1 TU TH").dayOfWeekMask, 4u | 16u);
  EXPECT_EQ(Rule("W1 TU TH").hasEnd, 0);
}

// Ordinary rules of each code are in recurrence_rule_table_test.cpp.
TEST(VCalendarRuleTest, PositionsAndNumbersOutsideTheirCodeAreSkipped) {
  EXPECT_EQ(Rule("MD1 1- LD #4").dayOfMonth, 5);
  EXPECT_EQ(Rule("MD1 15 20").dayOfMonth, 15);
  EXPECT_EQ(Rule("MD1 2+").instance, 0);
  EXPECT_EQ(Rule("MP1 2- FR").instance, 0);
  EXPECT_EQ(Rule("MP1 9+ FR").instance, 0);
  EXPECT_EQ(Rule("YD3 20").dayOfMonth, 20);
  const RecurrencePattern twelve = Rule("MP12 1+ WE #3");
  EXPECT_EQ(twelve.type, kRecurYearlyByDate);
  EXPECT_EQ(twelve.instance, 0);
  // Monday to Friday with a position is the last weekday of the month.
  EXPECT_EQ(Rule("MP1 1- MO TU WE TH FR").type, kRecurMonthlyByPosition);
}

TEST(VCalendarRuleTest, BadInputGivesNoRuleOrIsSkipped) {
  for (std::string_view rule : {"", "   ", "X1", "WE", "W1x", "W-1", "#10", "MO W1", "FREQ=DAILY"})
    EXPECT_FALSE(PatternFromVCalendarRule(rule, kStart)) << rule;
  const RecurrencePattern big = Rule("D99999999999 #-4 #99999999999 XX 20141399T000000");
  EXPECT_EQ(big.interval, 1);
  EXPECT_EQ(big.count, 0);
  EXPECT_EQ(big.hasEnd, 0);
  std::string many = "W1";
  for (int i = 0; i < 5000; ++i) many += " MO 3+ 7 $";
  EXPECT_EQ(Rule(many).dayOfWeekMask, 2u);
}

}  // namespace
}  // namespace tw

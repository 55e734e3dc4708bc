#include <gtest/gtest.h>

#include <tuple>

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
  EXPECT_EQ(Rule("W1 MO WE #10"), (RecurrencePattern{.type = kRecurWeekly, .interval = 1, .count = 10,
                                                       .dayOfWeekMask = 2 | 8, .hasEnd = 1,
                                                       .until = FileTime("45010101T000000Z")}));
  const RecurrencePattern dated = Rule("W2 TU #5 20141231T000000", "+0100");
  EXPECT_EQ(std::tuple(dated.count, dated.until), std::tuple(5, FileTime("20141230T230000Z")));
}

TEST(VCalendarRuleTest, EndsForeverAndByDate) {
  // Interval, count, whether it ends, until.
  const auto ends = [](std::string_view rule) {
    const RecurrencePattern p = Rule(rule);
    return std::tuple(p.interval, p.count, p.hasEnd, p.until);
  };
  EXPECT_EQ(Rule("D2 #0").type, kRecurDaily);
  EXPECT_EQ(ends("D2 #0"), std::tuple(2, 0, 0, 0u));
  EXPECT_EQ(ends("D1"), std::tuple(1, 0, 0, 0u));
  EXPECT_EQ(ends("D1 19991231T000000Z"), std::tuple(1, 0, 1, FileTime("19991231T000000Z")));
  // Day tokens hold a "T" too; they are days, not dates.
  EXPECT_EQ(ends("W1 TU TH"), std::tuple(1, 0, 0, 0u));
  EXPECT_EQ(Rule("W1 TU TH").dayOfWeekMask, 4u | 16u);
}

// Ordinary rules of each code are in recurrence_rule_table_test.cpp.
TEST(VCalendarRuleTest, PositionsAndNumbersOutsideTheirCodeAreSkipped) {
  EXPECT_EQ(Rule("MD1 1- LD #4").dayOfMonth, 5);
  EXPECT_EQ(Rule("MD1 15 20").dayOfMonth, 15);
  for (const char* rule : {"MD1 2+", "MP1 2- FR", "MP1 9+ FR"}) EXPECT_EQ(Rule(rule).instance, 0) << rule;
  EXPECT_EQ(Rule("YD3 20").dayOfMonth, 20);
  const RecurrencePattern twelve = Rule("MP12 1+ WE #3");
  EXPECT_EQ(std::tuple(twelve.type, twelve.instance), std::tuple(kRecurYearlyByDate, 0));
  // Monday to Friday with a position is the last weekday of the month.
  EXPECT_EQ(Rule("MP1 1- MO TU WE TH FR").type, kRecurMonthlyByPosition);
}

TEST(VCalendarRuleTest, BadInputGivesNoRuleOrIsSkipped) {
  for (std::string_view rule : {"", "   ", "X1", "WE", "W1x", "W-1", "#10", "MO W1", "FREQ=DAILY"})
    EXPECT_FALSE(PatternFromVCalendarRule(rule, kStart)) << rule;
  const RecurrencePattern big = Rule("D99999999999 #-4 #99999999999 XX 20141399T000000");
  EXPECT_EQ(std::tuple(big.interval, big.count, big.hasEnd), std::tuple(1, 0, 0));
  std::string many = "W1";
  for (int i = 0; i < 5000; ++i) many += " MO 3+ 7 $";
  EXPECT_EQ(Rule(many).dayOfWeekMask, 2u);
}

}  // namespace
}  // namespace tw

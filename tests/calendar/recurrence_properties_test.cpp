#include "calendar/recurrence_properties.h"

#include <gtest/gtest.h>

#include <tuple>

#include "calendar/date_texts.h"

namespace tw {
namespace {

RecurrenceProperties Properties(std::string_view dtstart, std::string_view rule, std::string_view offset = {},
                                bool allDay = false) {
  const auto properties = RecurrencePropertiesFromEvent(dtstart, rule, offset, allDay);
  EXPECT_TRUE(properties) << dtstart << " " << rule;
  return properties.value_or(RecurrenceProperties{});
}

uint64_t FileTime(std::string_view text) { return FileTimeFromDateTimeText(text).value(); }

TEST(RecurrencePropertiesTest, CarriesThePatternAsProperties) {
  RecurrenceProperties expected;
  expected.patternStartDate = FileTime("20140305T090000");
  expected.isRecurring = kPropertyTrue;
  expected.recurrenceType = 3;
  expected.recurrenceInterval = 1;
  expected.recurrenceInstance = 2;
  expected.noEndDate = kPropertyFalse;
  expected.occurrences = 6;
  expected.dayOfWeekMask = 2;
  EXPECT_EQ(Properties("20140305T090000", "FREQ=MONTHLY;BYDAY=2MO;COUNT=6", "+0100"), expected);

  // No instance property for 0; a rule without end has "no end date".
  const RecurrenceProperties open = Properties("20140305T090000", "W1 WE #0");
  EXPECT_EQ(std::tuple(open.recurrenceInstance.has_value(), open.noEndDate, open.dayOfWeekMask),
            std::tuple(false, kPropertyTrue, 8u));
  // Without "FREQ=" the rule is vCalendar 1.0.
  EXPECT_EQ(Properties("20140305T090000", "MD2 20 #3").recurrenceInterval, 2);
  EXPECT_EQ(Properties("20140305T090000", "W1 MO #10").patternEndDate, FileTime("45010101T000000Z"));
}

TEST(RecurrencePropertiesTest, AUtcStartIsMovedIntoLocalTime) {
  EXPECT_EQ(Properties("20140305T090000Z", "FREQ=DAILY", "+0530").patternStartDate, FileTime("20140305T143000"));
  EXPECT_EQ(Properties("20140305T090000Z", "FREQ=DAILY", "GMT").patternStartDate, FileTime("20140305T090000"));
  EXPECT_EQ(Properties("20140305T090000", "FREQ=DAILY", "-0500").patternStartDate, FileTime("20140305T090000"));
  EXPECT_EQ(Properties("20140305", "FREQ=DAILY", "+0200", true).patternStartDate, FileTime("20140305"));
}

TEST(RecurrencePropertiesTest, NoPropertiesForABadStartOrNoRecurrence) {
  for (auto [dtstart, rule] : {std::pair{"2014", "FREQ=DAILY"}, {"20141305T090000", "FREQ=DAILY"},
                               {"20140305T090000", "FREQ=HOURLY"}, {"20140305T090000", "Q9"},
                               {"20140305T090000", ""}})
    EXPECT_FALSE(RecurrencePropertiesFromEvent(dtstart, rule, "+0100", false)) << dtstart << " " << rule;
}

// Masks: Sunday 1, Monday 2, Tuesday 4 ... Saturday 64.
TEST(RecurrencePropertiesTest, OnlyAUtcTimedStartOnAnotherLocalDayMovesThePatternsDays) {
  // Monday 23:30 UTC is Tuesday at +0200.
  EXPECT_EQ(Properties("20140303T233000Z", "FREQ=WEEKLY;BYDAY=MO", "+0200").dayOfWeekMask, 4u);
  // Saturday forward is Sunday; Sunday back is Saturday.
  EXPECT_EQ(Properties("20140308T233000Z", "FREQ=WEEKLY;BYDAY=SA,MO", "+0200").dayOfWeekMask, 1u | 4u);
  EXPECT_EQ(Properties("20140309T003000Z", "FREQ=WEEKLY;BYDAY=SU,WE", "-0500").dayOfWeekMask, 64u | 4u);
  // The whole offset counts, minutes too: 18:45 UTC is 00:15 at +0530.
  EXPECT_EQ(Properties("20140303T184500Z", "FREQ=WEEKLY;BYDAY=MO", "+0530").dayOfWeekMask, 4u);
  EXPECT_EQ(Properties("20140303T181500Z", "FREQ=WEEKLY;BYDAY=MO", "+0530").dayOfWeekMask, 2u);
  // A local start (BYDAY already counts local days), an all-day event, no
  // offset or one that does not read: not moved.
  EXPECT_EQ(Properties("20140303T233000", "FREQ=WEEKLY;BYDAY=MO", "+0200").dayOfWeekMask, 2u);
  EXPECT_EQ(Properties("20140303T233000Z", "FREQ=WEEKLY;BYDAY=MO", "+0200", true).dayOfWeekMask, 2u);
  EXPECT_EQ(Properties("20140303T233000Z", "FREQ=WEEKLY;BYDAY=MO").dayOfWeekMask, 2u);
  EXPECT_EQ(Properties("20140303T233000Z", "FREQ=WEEKLY;BYDAY=MO", "+9999").dayOfWeekMask, 2u);
}

TEST(RecurrencePropertiesTest, DatesMoveByOneCalendarDay) {
  auto dayAndMonth = [](std::string_view dtstart, std::string_view rule, std::string_view offset) {
    const RecurrenceProperties p = Properties(dtstart, rule, offset);
    return std::pair{p.dayOfMonth, p.monthOfYear};
  };
  EXPECT_EQ(dayAndMonth("20230228T230000Z", "FREQ=YEARLY", "+0200"), std::pair(1, 3));
  EXPECT_EQ(dayAndMonth("20240228T230000Z", "FREQ=YEARLY", "+0200"), std::pair(29, 2));
  EXPECT_EQ(dayAndMonth("20231231T230000Z", "FREQ=YEARLY", "+0200"), std::pair(1, 1));
  EXPECT_EQ(dayAndMonth("20240301T010000Z", "FREQ=YEARLY", "-0500"), std::pair(29, 2));
  EXPECT_EQ(dayAndMonth("20230101T010000Z", "FREQ=YEARLY", "-0500"), std::pair(31, 12));
  // Monthly: the day alone moves, 31 (the last day) forward to the 1st.
  EXPECT_EQ(dayAndMonth("20230131T230000Z", "FREQ=MONTHLY", "+0200"), std::pair(1, 0));
  EXPECT_EQ(dayAndMonth("20230115T230000Z", "FREQ=MONTHLY", "+0200"), std::pair(16, 0));
  EXPECT_EQ(dayAndMonth("20230101T010000Z", "FREQ=MONTHLY", "-0500"), std::pair(31, 0));
}

}  // namespace
}  // namespace tw

// Rules as clients write them, each to its pattern; where the pattern can
// express the rule, its first dates are compared with libical's expansion.
#include <gtest/gtest.h>
#include <libical/ical.h>

#include <string>
#include <vector>

#include "calendar/date_texts.h"
#include "calendar/recurrence_pattern.h"

namespace tw {
namespace {

constexpr size_t kDatesCompared = 20;

struct TableRow {
  const char* source;
  const char* rule;
  const char* dtstart;  // local or all-day
  RecurrencePattern expected;  // count, end and week start not checked here
  // The same series as an RRULE for libical; empty when no pattern holds it.
  const char* libicalRule;
};

// type, interval, instance, mask, day of month, month of year.
RecurrencePattern P(int32_t type, int32_t interval, int32_t instance, uint32_t mask, int32_t day, int32_t month) {
  RecurrencePattern p;
  p.type = type;
  p.interval = interval;
  p.instance = instance;
  p.dayOfWeekMask = mask;
  p.dayOfMonth = day;
  p.monthOfYear = month;
  return p;
}

constexpr uint32_t SU = 1, MO = 2, TU = 4, WE = 8, TH = 16, FR = 32, SA = 64;
constexpr const char* kSame = "same";

const TableRow kRows[] = {
    {"Outlook", "FREQ=WEEKLY;COUNT=10;BYDAY=TU;WKST=SU", "20240102T100000", P(1, 1, 0, TU, 0, 0), kSame},
    {"Outlook", "FREQ=DAILY;COUNT=5", "20240102T100000", P(0, 1, 0, 0, 0, 0), kSame},
    {"Outlook", "FREQ=DAILY;UNTIL=20240131T230000Z;INTERVAL=3", "20240102T090000", P(0, 3, 0, 0, 0, 0), kSame},
    {"Outlook", "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR;WKST=SU", "20240102T090000", P(1, 1, 0, 62, 0, 0), kSame},
    {"Outlook", "FREQ=MONTHLY;COUNT=12;BYMONTHDAY=15", "20240115T090000", P(2, 1, 0, 0, 15, 0), kSame},
    {"Outlook", "FREQ=MONTHLY;COUNT=10;BYDAY=WE;BYSETPOS=3", "20240117T090000", P(3, 1, 3, WE, 0, 0), kSame},
    {"Outlook", "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1", "20240131T170000", P(3, 1, -1, 62, 0, 0), kSame},
    {"Outlook", "FREQ=YEARLY;BYMONTHDAY=25;BYMONTH=12", "20241225", P(5, 1, 0, 0, 25, 12), kSame},
    {"Outlook", "FREQ=YEARLY;BYDAY=TH;BYSETPOS=4;BYMONTH=11", "20241128", P(6, 1, 4, TH, 0, 11), kSame},
    {"Outlook", "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE,FR;WKST=SU", "20240101T080000", P(1, 2, 0, MO | WE | FR, 0, 0),
     kSame},
    {"Outlook", "FREQ=WEEKLY;INTERVAL=2;BYDAY=SU,SA;WKST=SU", "20240106T080000", P(1, 2, 0, SU | SA, 0, 0), kSame},
    {"Google", "FREQ=WEEKLY;BYDAY=TU", "20240102T100000", P(1, 1, 0, TU, 0, 0), kSame},
    {"Google", "FREQ=MONTHLY;BYDAY=1MO", "20240101T100000", P(3, 1, 1, MO, 0, 0), kSame},
    {"Google", "FREQ=MONTHLY;BYDAY=-1FR", "20240126T100000", P(3, 1, -1, FR, 0, 0), kSame},
    {"Google", "FREQ=YEARLY", "20240310", P(5, 1, 0, 0, 10, 3), kSame},
    {"Google", "FREQ=DAILY;UNTIL=20240215", "20240201", P(0, 1, 0, 0, 0, 0), kSame},
    {"Google", "FREQ=WEEKLY;WKST=MO;COUNT=6;BYDAY=MO,WE", "20240101T120000", P(1, 1, 0, MO | WE, 0, 0), kSame},
    {"Google", "FREQ=MONTHLY;INTERVAL=2;BYMONTHDAY=5", "20240105T120000", P(2, 2, 0, 0, 5, 0), kSame},
    // Every other day on weekdays: the pattern keeps only "weekdays".
    {"Google", "FREQ=DAILY;INTERVAL=2;BYDAY=MO,TU,WE,TH,FR", "20240101T120000", P(1, 0, 0, 62, 0, 0), ""},
    {"Apple", "FREQ=WEEKLY;INTERVAL=1", "20240103T083000", P(1, 1, 0, WE, 0, 0), kSame},
    {"Apple", "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=-1", "20240131T083000", P(2, 1, 0, 0, 31, 0), kSame},
    {"Apple", "FREQ=YEARLY;INTERVAL=1;BYMONTH=5;BYDAY=2SU", "20240512", P(6, 1, 2, SU, 0, 5), kSame},
    {"Apple", "FREQ=WEEKLY;INTERVAL=1;UNTIL=20240331T225959Z;BYDAY=SA,SU", "20240106T100000",
     P(1, 1, 0, SA | SU, 0, 0), kSame},
    {"Apple", "FREQ=MONTHLY;INTERVAL=3;BYDAY=2TH", "20240111T100000", P(3, 3, 2, TH, 0, 0), kSame},
    {"Apple", "FREQ=YEARLY;INTERVAL=2;BYMONTH=7;BYMONTHDAY=4", "20240704", P(5, 2, 0, 0, 4, 7), kSame},
    {"time zone", "FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3", "19700329T020000", P(6, 1, -1, SU, 0, 3), kSame},
    {"time zone", "FREQ=YEARLY;BYDAY=1SU;BYMONTH=11", "20071104T020000", P(6, 1, 1, SU, 0, 11), kSame},
    {"time zone", "FREQ=YEARLY;BYMONTH=3;BYDAY=2SU", "20070311T020000", P(6, 1, 2, SU, 0, 3), kSame},
    {"vCalendar 1.0", "D1 #5", "20240102T100000", P(0, 1, 0, 0, 0, 0), "FREQ=DAILY;COUNT=5"},
    {"vCalendar 1.0", "W1 MO WE #10", "20240101T100000", P(1, 1, 0, MO | WE, 0, 0),
     "FREQ=WEEKLY;BYDAY=MO,WE;COUNT=10"},
    {"vCalendar 1.0", "W2 TU TH 20240331T000000Z", "20240102T100000", P(1, 2, 0, TU | TH, 0, 0),
     "FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,TH;UNTIL=20240331T000000Z"},
    {"vCalendar 1.0", "MD1 15 #6", "20240115T100000", P(2, 1, 0, 0, 15, 0), "FREQ=MONTHLY;BYMONTHDAY=15;COUNT=6"},
    {"vCalendar 1.0", "MP1 1+ MO #0", "20240101T100000", P(3, 1, 1, MO, 0, 0), "FREQ=MONTHLY;BYDAY=1MO"},
    {"vCalendar 1.0", "MP1 1- FR #12", "20240126T100000", P(3, 1, -1, FR, 0, 0),
     "FREQ=MONTHLY;BYDAY=-1FR;COUNT=12"},
    {"vCalendar 1.0", "YM1 6 #3", "20240610T100000", P(5, 1, 0, 0, 10, 6), "FREQ=YEARLY;COUNT=3"},
    {"vCalendar 1.0", "MP12 #5", "20240314T100000", P(5, 1, 0, 0, 14, 3), "FREQ=YEARLY;COUNT=5"},
    {"vCalendar 1.0", "D1 MO TU WE TH FR 20240301T000000Z", "20240102T100000", P(1, 0, 0, 62, 0, 0),
     "FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR;UNTIL=20240301T000000Z"},
    {"vCalendar 1.0", "YD1 100", "20240409T100000", P(6, 1, 0, 0, 0, 0), ""},
};

SystemTime StartOf(const char* dtstart) {
  const DateTimeFields f = ReadDateTimeText(dtstart).value();
  return SystemTime{static_cast<uint16_t>(f.year), static_cast<uint16_t>(f.month), 0, static_cast<uint16_t>(f.day),
                    static_cast<uint16_t>(f.hour), static_cast<uint16_t>(f.minute), 0, 0};
}

int WeekdayOf(int64_t days) { return static_cast<int>(((days + 4) % 7 + 7) % 7); }

int WeekdayIndex(uint32_t bit) {
  for (int i = 0; i < 7; ++i)
    if (bit == (1u << i)) return i;
  return 1;  // weeks start on Monday unless the rule says otherwise
}

// The day of the instance-th of the mask's days in a month (-1 the last); 0
// when the month has no such day.
int PositionDay(int64_t year, int month, uint32_t mask, int instance) {
  std::vector<int> days;
  for (int d = 1; d <= DaysInMonth(year, month); ++d)
    if (mask & (1u << WeekdayOf(DaysFromCivil(year, month, d)))) days.push_back(d);
  if (instance == -1) return days.empty() ? 0 : days.back();
  return instance >= 1 && static_cast<size_t>(instance) <= days.size() ? days[instance - 1] : 0;
}

bool Matches(const RecurrencePattern& p, const SystemTime& start, int64_t day) {
  const int64_t startDay = DaysFromCivil(start.year, start.month, start.day);
  int64_t y = 0, m = 0, d = 0;
  CivilFromDays(day, y, m, d);
  const int64_t interval = p.interval > 0 ? p.interval : 1;
  const int64_t months = (y * 12 + m) - (start.year * 12 + start.month);
  switch (p.type) {
    case kRecurDaily:
      return (day - startDay) % interval == 0;
    case kRecurWeekly: {
      const int64_t first = WeekdayIndex(p.weekStart);
      auto weekOf = [&](int64_t x) { return (x + 4 - first + 700000) / 7; };  // day -4 was a Sunday
      return (p.dayOfWeekMask & (1u << WeekdayOf(day))) && (weekOf(day) - weekOf(startDay)) % interval == 0;
    }
    case kRecurMonthlyByDay:
      return months % interval == 0 && d == std::min<int64_t>(p.dayOfMonth, DaysInMonth(y, static_cast<int>(m)));
    case kRecurMonthlyByPosition:
      return months % interval == 0 && d == PositionDay(y, static_cast<int>(m), p.dayOfWeekMask, p.instance);
    case kRecurYearlyByDate:
      return (y - start.year) % interval == 0 && m == p.monthOfYear && d == p.dayOfMonth;
    case kRecurYearlyByPosition:
      return (y - start.year) % interval == 0 && m == p.monthOfYear &&
             d == PositionDay(y, static_cast<int>(m), p.dayOfWeekMask, p.instance);
  }
  return false;
}

std::string DateText(int64_t year, int64_t month, int64_t day) {
  char text[16];
  snprintf(text, sizeof text, "%04d%02d%02d", static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
  return text;
}

// The pattern's first dates, counting from the start's date at its time of day.
std::vector<std::string> Expand(const RecurrencePattern& p, const SystemTime& start) {
  std::vector<std::string> dates;
  const int64_t startDay = DaysFromCivil(start.year, start.month, start.day);
  const int64_t timeOfDay = start.hour * 3600 + start.minute * 60;
  for (int64_t day = startDay; day < startDay + 366 * 40 && dates.size() < kDatesCompared; ++day) {
    if (!Matches(p, start, day)) continue;
    if (p.count > 0 && dates.size() >= static_cast<size_t>(p.count)) break;
    if (p.hasEnd && p.count == 0 && *FileTimeFromUnixSeconds(day * kDaySeconds + timeOfDay) > p.until) break;
    int64_t y = 0, m = 0, d = 0;
    CivilFromDays(day, y, m, d);
    dates.push_back(DateText(y, m, d));
  }
  return dates;
}

std::vector<std::string> LibicalExpand(const char* rule, const char* dtstart) {
  std::vector<std::string> dates;
  const icalrecurrencetype recurrence = icalrecurrencetype_from_string(rule);
  icalrecur_iterator* it = icalrecur_iterator_new(recurrence, icaltime_from_string(dtstart));
  if (!it) return dates;
  for (icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t) && dates.size() < kDatesCompared;
       t = icalrecur_iterator_next(it))
    dates.push_back(DateText(t.year, t.month, t.day));
  icalrecur_iterator_free(it);
  return dates;
}

TEST(RecurrenceRuleTableTest, ClientRulesGiveTheirPatterns) {
  for (const TableRow& row : kRows) {
    SCOPED_TRACE(std::string(row.source) + ": " + row.rule);
    const SystemTime start = StartOf(row.dtstart);
    const std::string_view rule = row.rule;
    const std::optional<RecurrencePattern> pattern = rule.find("FREQ=") != std::string_view::npos
                                                         ? PatternFromICalendarRule(rule, start)
                                                         : PatternFromVCalendarRule(rule, start);
    ASSERT_TRUE(pattern);
    RecurrencePattern shape = *pattern;
    shape.count = 0;
    shape.hasEnd = 0;
    shape.until = 0;
    shape.weekStart = 0;
    EXPECT_EQ(shape.type, row.expected.type);
    EXPECT_EQ(shape, row.expected);

    const std::string_view libicalRule = row.libicalRule;
    if (libicalRule.empty()) continue;
    const std::vector<std::string> expected =
        LibicalExpand(libicalRule == kSame ? row.rule : row.libicalRule, row.dtstart);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Expand(*pattern, start), expected);
  }
}

TEST(RecurrenceRuleTableTest, RulesWithoutAPatternGiveNone) {
  const SystemTime start = StartOf("20240101T100000");
  for (const char* rule : {"FREQ=HOURLY;INTERVAL=4", "FREQ=MINUTELY;COUNT=30", "FREQ=SECONDLY"})
    EXPECT_FALSE(PatternFromICalendarRule(rule, start)) << rule;
}

}  // namespace
}  // namespace tw

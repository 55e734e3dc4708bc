#include "calendar/recurrence_properties.h"

#include <algorithm>

#include "calendar/date_texts.h"
#include "calendar/recurrence_pattern.h"
#include "calendar/system_time.h"

namespace tw {
namespace {

constexpr int kMinutesPerDay = 1440;
constexpr uint32_t kAllDaysMask = 127;

uint32_t RotatedMask(uint32_t mask, int days) {
  mask &= kAllDaysMask;
  if (days > 0) return ((mask << 1) | (mask >> 6)) & kAllDaysMask;  // Saturday to Sunday
  return (mask >> 1) | ((mask & 1) << 6);                            // Sunday to Saturday
}

// Moves the pattern's days by one calendar day (days is 1 or -1), in the
// start's year: 28 February forward is 29 February in a leap year, else
// 1 March; 31 December forward is 1 January.
void ShiftPatternByADay(RecurrencePattern& pattern, int days, int64_t year) {
  pattern.dayOfWeekMask = RotatedMask(pattern.dayOfWeekMask, days);
  if (pattern.dayOfMonth < 1 || pattern.dayOfMonth > 31) return;
  if (pattern.monthOfYear >= 1 && pattern.monthOfYear <= 12) {
    const int day = std::min(pattern.dayOfMonth, DaysInMonth(year, pattern.monthOfYear));
    int64_t y = 0, month = 0, dayOfMonth = 0;
    CivilFromDays(DaysFromCivil(year, pattern.monthOfYear, day) + days, y, month, dayOfMonth);
    pattern.monthOfYear = static_cast<int32_t>(month);
    pattern.dayOfMonth = static_cast<int32_t>(dayOfMonth);
    return;
  }
  // Monthly: day 31 stands for the month's last day, whose next day is the 1st.
  if (days > 0) pattern.dayOfMonth = pattern.dayOfMonth == 31 ? 1 : pattern.dayOfMonth + 1;
  else pattern.dayOfMonth = pattern.dayOfMonth == 1 ? 31 : pattern.dayOfMonth - 1;
}

std::optional<RecurrencePattern> PatternOfRule(std::string_view rule, const SystemTime& start,
                                               std::string_view offsetText) {
  if (rule.find("FREQ=") != std::string_view::npos) return PatternFromICalendarRule(rule, start, offsetText);
  return PatternFromVCalendarRule(rule, start, offsetText);
}

}  // namespace

std::optional<RecurrenceProperties> RecurrencePropertiesFromEvent(std::string_view dtstart, std::string_view rule,
                                                                  std::string_view offsetText, bool allDay) {
  const std::optional<DateTimeFields> fields = ReadDateTimeText(dtstart);
  if (!fields) return std::nullopt;
  std::optional<SystemTime> startFields = SystemTimeFromTextFields(*fields);
  if (!startFields) return std::nullopt;
  SystemTime& start = *startFields;
  const std::optional<int64_t> startSeconds = UnixSecondsFromSystemTime(start);
  if (!startSeconds) return std::nullopt;
  if (const auto weekday = SystemTimeFromUnixSeconds(*startSeconds)) start.dayOfWeek = weekday->dayOfWeek;

  const OffsetText offset = ReadOffsetText(offsetText);
  const bool inUtc = fields->zone == DateTimeZone::kUtc && offset.read == OffsetRead::kMinutes;
  const int offsetMinutes = inUtc ? offset.minutes : 0;
  const std::optional<uint64_t> localStart = FileTimeFromUnixSeconds(*startSeconds + offsetMinutes * 60);
  if (!localStart) return std::nullopt;

  std::optional<RecurrencePattern> pattern = PatternOfRule(rule, start, offsetText);
  if (!pattern) return std::nullopt;

  // A local DTSTART needs no shift: its rule already counts local days.
  if (inUtc && !allDay && fields->hasTime) {
    const int startMinute = fields->hour * 60 + fields->minute + offsetMinutes;
    if (startMinute < 0) ShiftPatternByADay(*pattern, -1, fields->year);
    else if (startMinute >= kMinutesPerDay) ShiftPatternByADay(*pattern, 1, fields->year);
  }

  RecurrenceProperties p;
  p.patternStartDate = *localStart;
  p.isRecurring = kPropertyTrue;
  p.recurrenceType = pattern->type;
  p.recurrenceInterval = pattern->interval;
  if (pattern->instance != 0) p.recurrenceInstance = pattern->instance;
  p.noEndDate = pattern->hasEnd == 1 ? kPropertyFalse : kPropertyTrue;
  p.occurrences = pattern->count;
  p.dayOfWeekMask = pattern->dayOfWeekMask;
  p.dayOfMonth = pattern->dayOfMonth;
  p.monthOfYear = pattern->monthOfYear;
  p.patternEndDate = pattern->until;
  return p;
}

}  // namespace tw

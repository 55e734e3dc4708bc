// The recurrence properties of an appointment, from its DTSTART, its rule
// (iCalendar RRULE or vCalendar 1.0) and the offset of its zone: the values
// the calendar items store as PR_BNP_* properties.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace tw {

// How the boolean properties are stored.
inline constexpr int32_t kPropertyTrue = -1;
inline constexpr int32_t kPropertyFalse = 0;

struct RecurrenceProperties {
  uint64_t patternStartDate = 0;  // PR_BNP_PatternStartDate: file time of the local start
  int32_t isRecurring = kPropertyFalse;  // PR_BNP_IsRecurring
  int32_t recurrenceType = 0;            // PR_BNP_RecurrenceType
  int32_t recurrenceInterval = 0;        // PR_BNP_RecurrenceInterval
  std::optional<int32_t> recurrenceInstance;  // PR_BNP_RecurrenceInstance, set only when not 0
  int32_t noEndDate = kPropertyFalse;    // PR_BNP_NoEndDate
  int32_t occurrences = 0;               // PR_BNP_Occurrences
  uint32_t dayOfWeekMask = 0;            // PR_BNP_RecurrenceDayOfWeekMask
  int32_t dayOfMonth = 0;                // PR_BNP_RecurrenceDayOfMonth
  int32_t monthOfYear = 0;               // PR_BNP_RecurrenceMonthOfYear
  uint64_t patternEndDate = 0;           // PR_BNP_PatternEndDate: file time of the end (UTC)
  bool operator==(const RecurrenceProperties&) const = default;
};

// The rule is read as iCalendar when it holds "FREQ=", else as vCalendar
// 1.0. A DTSTART in UTC ("...Z") is moved into local time by the offset
// (hhmm; "GMT" is 0) for the pattern's start. When such a start, not
// all-day, falls on another local day than its UTC day, the pattern's days
// move with it by one calendar day: the rule counted UTC days, the pattern
// counts local ones. None when the DTSTART does not read or the rule gives
// no recurrence: no property is set then.
std::optional<RecurrenceProperties> RecurrencePropertiesFromEvent(std::string_view dtstart, std::string_view rule,
                                                                  std::string_view offsetText, bool allDay);

}  // namespace tw

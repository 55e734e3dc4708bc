// Recurrence patterns: what both rule grammars (the iCalendar RRULE value
// and the older vCalendar 1.0 rule) are read into, for appointments and for
// the change-over rules of time-zone blocks.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "calendar/system_time.h"

namespace tw {

enum RecurrenceType : int32_t {
  kRecurDaily = 0,
  kRecurWeekly = 1,
  kRecurMonthlyByDay = 2,
  kRecurMonthlyByPosition = 3,
  kRecurYearlyByDate = 5,
  kRecurYearlyByPosition = 6,
};

// Day-of-week mask bits: Sunday 1, Monday 2 ... Saturday 64.
inline constexpr uint32_t kWeekdaysMask = 62;  // Monday to Friday

struct RecurrencePattern {
  int32_t type = kRecurDaily;
  int32_t interval = 1;
  int32_t count = 0;         // occurrences; 0 when not given
  int32_t instance = 0;      // 1-4, or -1 for the last, for the by-position types
  uint32_t dayOfWeekMask = 0;
  int32_t dayOfMonth = 0;    // 1-31
  int32_t monthOfYear = 0;   // 1-12
  uint32_t weekStart = 0;    // a day-of-week mask bit
  int32_t hasEnd = 0;        // 1 when the rule ends, by count or by date
  uint64_t until = 0;        // file time of the end
  bool operator==(const RecurrencePattern&) const = default;
};

// An iCalendar RRULE value ("FREQ=MONTHLY;BYDAY=2MO"), given the event's
// start and the offset text that turns a local UNTIL into UTC. None when
// the rule gives no recurrence (no or an unknown FREQ).
std::optional<RecurrencePattern> PatternFromICalendarRule(std::string_view rule, const SystemTime& start,
                                                          std::string_view offsetText = {});

// A vCalendar 1.0 rule ("W1 MO WE #10"), likewise.
std::optional<RecurrencePattern> PatternFromVCalendarRule(std::string_view rule, const SystemTime& start,
                                                          std::string_view offsetText = {});

}  // namespace tw

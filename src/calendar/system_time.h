// The broken-down time the calendar code passes around: the fields of a
// date and time of day (the layout of the Windows SYSTEMTIME, which the
// 44-byte zone value embeds).
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "calendar/date_texts.h"

namespace tw {

struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 0;      // 1-12
  uint16_t dayOfWeek = 0;  // 0-6, Sunday 0
  uint16_t day = 0;        // 1-31 (in a zone rule: the week number 1-5)
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};
static_assert(sizeof(SystemTime) == 16);
static_assert(offsetof(SystemTime, month) == 2 && offsetof(SystemTime, dayOfWeek) == 4 &&
              offsetof(SystemTime, day) == 6 && offsetof(SystemTime, hour) == 8 &&
              offsetof(SystemTime, minute) == 10 && offsetof(SystemTime, second) == 12 &&
              offsetof(SystemTime, milliseconds) == 14);

// The fields of a Unix time (UTC); none outside the years 1601-30827.
std::optional<SystemTime> SystemTimeFromUnixSeconds(int64_t seconds);
// The fields of a date-time text as they were written (no zone applied,
// the day of week not filled, a leap second as 59); none for a year past
// 9999.
std::optional<SystemTime> SystemTimeFromTextFields(const DateTimeFields& fields);

// The Unix time of the fields read as UTC (milliseconds dropped, day of
// week ignored); none for a month, day, hour, minute or second out of range.
std::optional<int64_t> UnixSecondsFromSystemTime(const SystemTime& time);

}  // namespace tw

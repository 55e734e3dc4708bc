// Time-zone data as the calendar code keeps it: the record a VTIMEZONE
// block, a "TZ:" property or a named zone gives (a standard and a daylight
// section), and the 44-byte zone value (bias values and change-over dates
// in the Windows rule form) a named zone is described by.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "calendar/recurrence_pattern.h"
#include "calendar/system_time.h"

namespace tw {

inline constexpr size_t kTimeZoneNameLimit = 259;
inline constexpr size_t kZoneOffsetTextLimit = 15;
inline constexpr const char* kUnnamedTimeZone = "Unnamed";
inline constexpr const char* kUnspecifiedTimeZone = "Unspecified";
// The source module the time-zone steps report their exceptions under.
inline constexpr const char* kTimeZoneSourceModule = "..\\services\\Library\\LIBiCALIndex";

// Bias values in minutes west of UTC; a change-over date is the week-th
// (1-5, 5 the last) dayOfWeek of its month at hour:minute, month 0 for none.
struct TimeZoneValue {
  int32_t bias = 0;
  int32_t standardBias = 0;
  int32_t daylightBias = 0;
  SystemTime standardDate;
  SystemTime daylightDate;
};
static_assert(sizeof(TimeZoneValue) == 44);
static_assert(offsetof(TimeZoneValue, bias) == 0 && offsetof(TimeZoneValue, standardBias) == 4 &&
              offsetof(TimeZoneValue, daylightBias) == 8 && offsetof(TimeZoneValue, standardDate) == 12 &&
              offsetof(TimeZoneValue, daylightDate) == 28);

// One STANDARD or DAYLIGHT observance.
struct TimeZoneSection {
  SystemTime changeOver;    // DTSTART: the first change-over (wall clock before it)
  bool hasChangeOver = false;
  std::optional<RecurrencePattern> rule;  // RRULE
  std::string offsetFrom;   // TZOFFSETFROM as "+hhmm"; empty when missing
  std::string offsetTo;     // TZOFFSETTO
};

struct TimeZoneRecord {
  std::string name = kUnspecifiedTimeZone;
  TimeZoneSection standard;  // the section with the latest DTSTART
  TimeZoneSection daylight;
  // Earlier blocks of each kind (zones whose rules changed over the years);
  // a date takes the block with the latest DTSTART not after it.
  std::vector<TimeZoneSection> earlierStandards;
  std::vector<TimeZoneSection> earlierDaylights;
  // A named zone's system zone id: its sections are rebuilt for the year of
  // each date, since its rules differ from year to year.
  std::string systemZone;
};

}  // namespace tw

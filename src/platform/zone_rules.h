// A zone's offsets and change-overs for one year, in the Windows rule form,
// from the system's zone files (howardhinnant-date over /usr/share/zoneinfo;
// not ICU's rules, whose data lags the system's).
#pragma once
#include <optional>
#include <string_view>

namespace tw::platform {

// A change-over: the week-th (1-5, 5 the last) weekday (Sunday 0) of the
// month, at a wall-clock time of the offset before the change.
struct ZoneChangeDate {
  int month = 0;  // 0: no change-over
  int dayOfWeek = 0;
  int week = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Offsets in minutes east of UTC. A year without change-overs has month 0
// in both dates and its one offset as the standard one.
struct ZoneYearRules {
  int standardMinutes = 0;
  int daylightMinutes = 0;
  ZoneChangeDate standardDate;
  ZoneChangeDate daylightDate;
};

// The rules of a system zone (an id SystemZoneIdFromName gave) for a year
// (1-9999). The change-overs are that year's own, so the week numbers are
// exact for it even when the zone's rules changed. After the transitions the
// file lists (2037 for the current rules) the file's final rule applies.
//
// A year with more than two change-overs keeps the last change into
// daylight time and the last change out of it. A year with changes of one
// kind only (a zone ending daylight time, or moving its standard offset)
// keeps the last change and starts the year with the other section at
// 1 January 00:00, so both offsets of that year stay exact.
std::optional<ZoneYearRules> ZoneYearRulesFromSystem(std::string_view zoneId, int year);

}  // namespace tw::platform

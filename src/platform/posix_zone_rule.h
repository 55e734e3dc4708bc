// The final rule of a zone file: the POSIX TZ text on the file's last line
// ("EST5EDT,M3.2.0,M11.1.0", "<+0530>-5:30", "<-02>2<-01>,M3.5.0/-1,M10.5.0/0"),
// which holds for the years after the file's listed transitions.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace tw::platform {

// "Mm.w.d/time": the w-th (5 = last) weekday d (Sunday 0) of month m, at a
// wall-clock time of the offset before the change; the time may be negative
// or past 24 hours, which moves the change to another day.
struct PosixRuleDate {
  int month = 0;
  int week = 0;
  int weekday = 0;
  int seconds = 7200;
};

struct PosixZoneRule {
  int standardMinutes = 0;  // east of UTC
  bool hasDaylight = false;
  int daylightMinutes = 0;
  PosixRuleDate toDaylight;
  PosixRuleDate toStandard;
};

// None for a text that does not read. A daylight name with no rule, or with
// the day-of-year forms ("Jn", "n"), reads as a zone without daylight time:
// the system files use the "M" form for every current zone.
std::optional<PosixZoneRule> ReadPosixZoneRule(std::string_view text);

// The day of the month the rule date falls on in a year (before its time).
int PosixRuleDay(const PosixRuleDate& date, int year);

}  // namespace tw::platform

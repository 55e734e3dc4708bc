// The steps that turn a time-zone record into offsets: the change-over
// date of a year, the offset that applies to a local date-time, and a
// date-time text made absolute with it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "calendar/time_zone_record.h"

namespace tw {

// A section's DTSTART as seconds on the wall clock (counted as if UTC), the
// order its blocks apply in; the lowest value for a section without one.
int64_t SectionStartWallSeconds(const TimeZoneSection& section);

// The section's change-over in a year: the month of its yearly rule, the
// rule's day of month (yearly by date) or its instance-th weekday (yearly
// by position; an instance of 0 or below, or past the month's count, is the
// last), at the time of day of the section's DTSTART. A section without a
// rule changes over at its DTSTART, in that year only. None otherwise, and
// for a date that does not exist.
std::optional<SystemTime> VCalendar_GetTZChangeOver(const TimeZoneSection& section, int year);

// The offset text ("+hhmm") that applies to a local date-time; empty for
// none (UTC). Change-overs compare as wall-clock times: a skipped hour gets
// the offset after the change, a repeated hour the one before it (daylight
// time). A named zone (systemZone set) uses its sections for the date's
// year. When a change-over cannot be formed the error is printed and the
// standard offset applies.
std::string VCalendar_GetApplicableOffsetString(const TimeZoneRecord& zone, const SystemTime& localTime);

// Appends the applicable offset to a local date-time text. A text whose
// time part carries "Z" or an offset, a bare date, a text that does not
// read, and one that would outgrow the 127-character cut stay unchanged.
std::string VCAL_ApplyTimeZoneSection(std::string_view dateTimeText, const TimeZoneRecord& zone);

}  // namespace tw

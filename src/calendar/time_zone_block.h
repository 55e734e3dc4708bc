// VTIMEZONE blocks (and the vCalendar 1.0 "TZ:" property in their place)
// read into time-zone records.
#pragma once
#include <optional>
#include <string_view>

#include "calendar/time_zone_record.h"

namespace tw {

// Reads the VTIMEZONE the TZID names (the first one when tzid is empty;
// TZIDs compare without regard to case, quotes dropped) from a calendar
// text. Without a matching block, a "TZ:" property (no tzid asked) gives a
// fixed offset. None when neither is there. A block without "TZID:" is
// named "Unnamed"; a name is cut to 259 characters. Offsets that do not
// read ("+9999") are left empty; a block or section without its END line
// ends with the text.
std::optional<TimeZoneRecord> VCalendar_ParseTimeZoneBlock(std::string_view calendarText, std::string_view tzid = {});

}  // namespace tw

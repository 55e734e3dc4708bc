// Zones named by a Windows name ("W. Europe Standard Time") or an IANA id
// ("Europe/Berlin"): the mailbox's "TimeZone" option and TZIDs without a
// VTIMEZONE block. Their rules come from the system's zone files (through
// the platform layer), one year at a time, and are cached by name and year.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "calendar/time_zone_record.h"

namespace tw {

// The zone's bias values and change-over dates for a year, in the 44-byte
// form. False for an unknown name or a year outside 1601-9999.
bool CAL_TimeZoneOffsetsByTZName(std::string_view name, int year, TimeZoneValue& value);

// A record from a zone value: standard offset -(bias + standard bias),
// daylight offset -(bias + daylight bias); the standard section changes
// from the daylight offset to the standard one at the standard date, and a
// daylight section (only when its month is not 0) the other way.
TimeZoneRecord RecordFromTimeZoneValue(std::string_view name, const TimeZoneValue& value);

// The record of a system zone id for one year (cached); null when the zone
// is unknown.
std::shared_ptr<const TimeZoneRecord> NamedTimeZoneForYear(const std::string& systemZone, int year);

// A named zone's record: its sections are those of the current year, and
// its offsets follow each date's own year. None for an unknown name.
std::optional<TimeZoneRecord> TimeZoneFromName(std::string_view name);

// The mailbox's zone from its "TimeZone" option (scope 2, object
// "postoffice/mailbox"). None (UTC) without an option provider, without a
// value, or for a name that names no zone.
std::optional<TimeZoneRecord> VCAL_GetMailboxTimeZone(const std::string& postoffice, const std::string& mailbox);

// The zone of an event whose date-times name `tzid`: the calendar's
// VTIMEZONE with that TZID, else the zone the TZID names (an IANA or
// Windows name), else the mailbox's zone. None means UTC.
std::optional<TimeZoneRecord> TimeZoneForEvent(std::string_view calendarText, std::string_view tzid,
                                               const std::string& postoffice, const std::string& mailbox);

}  // namespace tw

// Date texts found in message headers, turned into the ISO form the index
// keeps ("2014-03-05T09:05:00"), and the header dates the calendar code
// writes ("09:05 05 Mar, 2014", "Mon, 5 Mar 2014 09:05:00 +0100").
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// Room for an ISO date text and its terminator, as the index records keep it.
inline constexpr size_t kIsoDateCapacity = 64;

// English three-letter month names, read without regard to case from the
// first three characters: "Jan" 0 ... "Dec" 11; any other text reads as 11.
int MonthIndexFromName(std::string_view name);

// An Internet message date ("Tue, 5 Mar 2014 09:00:00 +0100"): optional
// weekday and comma, day, month name, year, hour:minute[:second], zone
// ("+hhmm", "-hhmm", "GMT"; other names count as 0). The fields are read as
// a local time, the zone is taken off and the result is written in local
// time as "%Y-%m-%dT%H:%M:%S". A year below 1901 has 2000 added. When no
// time can be formed from the fields (before 1970, after 3000) they are
// written as they stand. Writes at most capacity - 1 bytes and returns the
// length; 0 (empty text) when the day, month, year or hour:minute is
// missing.
size_t IsoDateFromMessageDate(std::string_view text, char* out, size_t capacity);
std::string IsoDateFromMessageDate(std::string_view text);

// The short header form "09:05 05 Mar, 2014" (seconds optional after the
// minute): hour above 24 and minute above 59 become 0, a day outside 1-31
// becomes 1, a year below 1901 has 2000 added; seconds are written as 0.
// Empty when a separator is missing.
std::string IsoDateFromHeaderDate(std::string_view text);
// The same fields as a Unix time (an hour of 24 is midnight of the next
// day); none when a separator is missing or the year lies outside
// 1601-9999.
std::optional<int64_t> UnixTimeFromHeaderDate(std::string_view text);
// A Unix time as that short form, in UTC: "%02d:%02d:%02d %02d %s, %4d", or
// without the seconds when they are 0 ("09:05 05 Mar, 2014").
std::string HeaderDateFromUnixTime(int64_t seconds);

// A time as a "Date:" header in the server's local time, with English names
// whatever the locale: "Wed, 5 Mar 2014 09:05:00 +0100". The offset is the
// local zone's at that time (daylight time included), as hhmm.
std::string MessageDateFromUnixTime(int64_t seconds);
// The current time as MessageDateFromUnixTime writes it.
std::string CurrentMessageDate();

}  // namespace tw

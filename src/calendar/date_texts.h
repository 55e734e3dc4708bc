// Date texts and file times: ISO and vCalendar date-times
// ("2014-03-05T09:05:00", "20140305T090000Z", "20140305T090000-0500"),
// offset texts ("+0100", "-05:00", "GMT"), durations ("PT1H30M") and the
// civil calendar arithmetic under them and under the header dates. Every
// date-time text goes through the one reader here.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

inline constexpr int64_t kDaySeconds = 86400;
// Date-time texts are cut to this many characters before they are read.
inline constexpr size_t kDateTimeTextLimit = 127;

// Gregorian leap years, and the length of a month (1-12) in a year.
bool IsLeapYear(int64_t year);
int DaysInMonth(int64_t year, int month);

// Days from 1970-01-01 (proleptic Gregorian), and back.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);
void CivilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day);
// The day of week (0-6, Sunday 0) of a day counted from 1970-01-01.
int WeekdayFromDays(int64_t days);

// A Unix time split into UTC fields (day of week 0-6, Sunday 0).
struct CivilTime {
  int64_t year = 0;
  int month = 0, day = 0, hour = 0, minute = 0, second = 0, weekday = 0;
};
CivilTime CivilFromUnixSeconds(int64_t seconds);

// File times (100 ns since 1601-01-01 UTC) and Unix seconds; none when the
// seconds lie before 1601 or beyond what a file time holds.
std::optional<uint64_t> FileTimeFromUnixSeconds(int64_t seconds);
// Whole seconds, truncated toward zero (a file time 0.5 s before 1970 is 0).
int64_t UnixSecondsFromFileTime(uint64_t fileTime);

// ---- Offset texts ----------------------------------------------------------

enum class OffsetRead { kNone, kMinutes, kInvalid };
struct OffsetText {
  OffsetRead read = OffsetRead::kNone;
  int minutes = 0;
};
// Reads "+hhmm", "-hhmm" and "hhmm" (three digits are hmm), "+hh:mm",
// "+hh" and "+h" (hours), "+hhmmss" (seconds dropped), and "GMT", "UTC" or
// "Z" (0); blanks around are skipped. kNone for an empty text; kInvalid for
// anything else, and for hours above 23 or minutes above 59 ("+9999").
OffsetText ReadOffsetText(std::string_view text);
// Minutes east of UTC as "%s%02d%02d": "+0100", "-0530", "+0000".
std::string OffsetTextFromMinutes(int minutes);

// ---- Date-time texts -------------------------------------------------------

enum class DateTimeZone {
  kLocal,   // no zone: the caller's offset decides
  kUtc,     // a final "Z"
  kOffset,  // an offset of its own, in offsetMinutes
};

struct DateTimeFields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool hasTime = false;  // false for a bare date (an all-day value)
  DateTimeZone zone = DateTimeZone::kLocal;
  int offsetMinutes = 0;
};

// Reads the first 127 characters of "YYYYMMDD[THHMM[SS]]" or
// "YYYY-MM-DD[THH:MM[:SS]]" ("T", "t" or a blank before the time), then
// "Z", an offset text or nothing; trailing blanks are skipped. After a bare
// date anything that reads as an offset is skipped (an appended zone). None
// for any other text, a field out of range (month 13, day 32 or 31 April,
// hour 24, minute 60) or a year before 1601.
std::optional<DateTimeFields> ReadDateTimeText(std::string_view text);

// A vCalendar date-time to a file time. The offset comes from offsetText
// when it is given (not empty), else from the text itself; it turns local
// time to UTC. A bare date is midnight UTC and takes no offset; a text
// ending in "Z" takes none either. None when the text does not read, when a
// given offset text is invalid, or when the result lies before 1601.
std::optional<uint64_t> FileTimeFromDateTimeText(std::string_view text, std::string_view offsetText = {});

// ISO date text ("%4d-%02d-%02dT%02d:%02d:%02d", UTC) and file time. Years
// past 9999 are written with all their digits.
std::string IsoTextFromFileTime(uint64_t fileTime);
// FileTimeFromDateTimeText without an offset text.
std::optional<uint64_t> FileTimeFromIsoText(std::string_view text);

// ---- Durations -------------------------------------------------------------

// An iCalendar DURATION ("P2W", "P1DT2H", "-PT15M", "PT1H30M20S"; letters
// without regard to case) in seconds. 3600 for a text that is no duration
// ("", "P", "PT", "-", "P1H", a part twice or out of order) or whose length
// exceeds a signed 32-bit number of seconds.
int64_t DurationSeconds(std::string_view text);

}  // namespace tw

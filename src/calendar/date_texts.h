// ISO date texts ("2014-03-05T09:05:00", UTC) and file times, and the
// civil calendar arithmetic under them and under the header dates.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

inline constexpr int64_t kDaySeconds = 86400;

// Days from 1970-01-01 (proleptic Gregorian), and back.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);
void CivilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day);

// File times (100 ns since 1601-01-01 UTC) and Unix seconds; none when the
// seconds lie before 1601 or beyond what a file time holds.
std::optional<uint64_t> FileTimeFromUnixSeconds(int64_t seconds);
int64_t UnixSecondsFromFileTime(uint64_t fileTime);

// ISO date text ("%4d-%02d-%02dT%02d:%02d:%02d", UTC) and file time.
std::string IsoTextFromFileTime(uint64_t fileTime);
// Also reads "YYYYMMDD[THHMMSS]" and a date without a time; none when the
// text is not a date from 1601 on.
std::optional<uint64_t> FileTimeFromIsoText(std::string_view text);

}  // namespace tw

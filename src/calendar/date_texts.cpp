#include "calendar/date_texts.h"

#include <limits>

#include "common/text.h"

namespace tw {
namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;
constexpr size_t kIsoTextCapacity = 256;  // a date text fits easily

// Reads `width` digits at `at`, skipping one optional separator first.
bool Field(std::string_view text, size_t& at, size_t width, char separator, int64_t& value) {
  if (separator != '\0' && at < text.size() && text[at] == separator) ++at;
  if (at + width > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < width; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  at += width;
  return true;
}

}  // namespace

std::optional<uint64_t> FileTimeFromUnixSeconds(int64_t seconds) {
  if (seconds < -kSecondsFrom1601To1970 || seconds > std::numeric_limits<int64_t>::max() / kTicksPerSecond)
    return std::nullopt;
  const uint64_t since1601 = static_cast<uint64_t>(seconds + kSecondsFrom1601To1970);
  return since1601 * static_cast<uint64_t>(kTicksPerSecond);
}

int64_t UnixSecondsFromFileTime(uint64_t fileTime) {
  return static_cast<int64_t>(fileTime / static_cast<uint64_t>(kTicksPerSecond)) - kSecondsFrom1601To1970;
}

int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

std::string IsoTextFromFileTime(uint64_t fileTime) {
  const int64_t seconds = UnixSecondsFromFileTime(fileTime);
  const int64_t days = (seconds >= 0 ? seconds : seconds - (kDaySeconds - 1)) / kDaySeconds;
  const int64_t inDay = seconds - days * kDaySeconds;
  int64_t year = 0, month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  return FormatText(kIsoTextCapacity, "%4d-%02d-%02dT%02d:%02d:%02d", static_cast<int>(year),
                    static_cast<int>(month), static_cast<int>(day), static_cast<int>(inDay / 3600),
                    static_cast<int>(inDay / 60 % 60), static_cast<int>(inDay % 60));
}

std::optional<uint64_t> FileTimeFromIsoText(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == 'Z' || text.back() == 'z'))
    text.remove_suffix(1);
  size_t at = 0;
  int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Field(text, at, 4, '\0', year) || !Field(text, at, 2, '-', month) || !Field(text, at, 2, '-', day))
    return std::nullopt;
  if (at < text.size()) {
    if (text[at] != 'T' && text[at] != 't' && text[at] != ' ') return std::nullopt;
    ++at;
    if (!Field(text, at, 2, '\0', hour) || !Field(text, at, 2, ':', minute)) return std::nullopt;
    if (at < text.size() && !Field(text, at, 2, ':', second)) return std::nullopt;
    if (at != text.size()) return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
    return std::nullopt;
  const int64_t seconds = DaysFromCivil(year, month, day) * kDaySeconds + hour * 3600 + minute * 60 + second;
  return FileTimeFromUnixSeconds(seconds);
}

}  // namespace tw

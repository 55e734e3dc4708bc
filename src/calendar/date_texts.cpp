#include "calendar/date_texts.h"

#include <iterator>
#include <limits>

#include "common/text.h"

namespace tw {
namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;
constexpr uint64_t kFileTimeOf1970 = static_cast<uint64_t>(kSecondsFrom1601To1970 * kTicksPerSecond);
constexpr size_t kIsoTextCapacity = 256;  // a date text fits easily
constexpr int kFirstYear = 1601;
constexpr int64_t kLongestDuration = std::numeric_limits<int32_t>::max();

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Reads exactly `width` digits at `at`.
bool Digits(std::string_view text, size_t& at, size_t width, int& value) {
  if (at + width > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < width; ++i) {
    if (!IsDigit(text[at + i])) return false;
    value = value * 10 + (text[at + i] - '0');
  }
  at += width;
  return true;
}

// Reads `width` digits, after one optional separator.
bool Field(std::string_view text, size_t& at, size_t width, char separator, int& value) {
  if (at < text.size() && text[at] == separator) ++at;
  return Digits(text, at, width, value);
}

// The time after "T": HHMM[SS] or HH:MM[:SS], then an optional fraction of
// a second, which is dropped.
bool ReadTimePart(std::string_view text, size_t& at, DateTimeFields& f) {
  if (!Digits(text, at, 2, f.hour) || !Field(text, at, 2, ':', f.minute)) return false;
  const size_t beforeSeconds = at;
  if (!Field(text, at, 2, ':', f.second)) {
    at = beforeSeconds;
    f.second = 0;
  }
  if (at + 1 < text.size() && (text[at] == '.' || text[at] == ',') && IsDigit(text[at + 1])) {
    ++at;
    while (at < text.size() && IsDigit(text[at])) ++at;
  }
  f.hasTime = true;
  return true;
}

bool FieldsInRange(const DateTimeFields& f) {
  if (f.year < kFirstYear || f.month < 1 || f.month > 12 || f.day < 1) return false;
  if (f.day > DaysInMonth(f.year, f.month)) return false;
  return f.hour <= 23 && f.minute <= 59 && f.second <= 60;
}

int64_t UnixSecondsOf(const DateTimeFields& f) {
  return DaysFromCivil(f.year, f.month, f.day) * kDaySeconds + f.hour * 3600 + f.minute * 60 + f.second;
}

// One number of a duration, bounded so that it cannot overflow.
bool DurationNumber(std::string_view text, size_t& at, int64_t& value) {
  if (at >= text.size() || !IsDigit(text[at])) return false;
  value = 0;
  while (at < text.size() && IsDigit(text[at])) {
    value = value * 10 + (text[at] - '0');
    if (value > kLongestDuration) return false;
    ++at;
  }
  return true;
}

// The duration's parts after "P"; none when the text is no duration.
std::optional<int64_t> DurationBody(std::string_view text) {
  // Designators in the order they may come, with their lengths in seconds;
  // "T" comes between the days and the hours.
  static constexpr struct {
    char letter;
    int64_t seconds;
    bool afterT;
  } kParts[] = {{'W', 7 * kDaySeconds, false}, {'D', kDaySeconds, false}, {'H', 3600, true},
                {'M', 60, true},               {'S', 1, true}};
  size_t at = 0;
  size_t next = 0;  // the first designator still allowed
  bool inTime = false;
  bool timeHasPart = false;
  bool anyPart = false;
  int64_t total = 0;
  while (at < text.size()) {
    if (!inTime && ToUpperAscii(text[at]) == 'T') {
      inTime = true;
      ++at;
      continue;
    }
    int64_t value = 0;
    if (!DurationNumber(text, at, value) || at >= text.size()) return std::nullopt;
    const char letter = ToUpperAscii(text[at++]);
    while (next < std::size(kParts) && kParts[next].letter != letter) ++next;
    if (next == std::size(kParts) || kParts[next].afterT != inTime) return std::nullopt;
    total += value * kParts[next].seconds;
    if (total > kLongestDuration) return std::nullopt;
    ++next;
    anyPart = true;
    timeHasPart = timeHasPart || inTime;
  }
  if (!anyPart || (inTime && !timeHasPart)) return std::nullopt;
  return total;
}

}  // namespace

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kLengths[month - 1];
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

CivilTime CivilFromUnixSeconds(int64_t seconds) {
  // Floor division that cannot overflow, even at the ends of int64_t.
  int64_t days = seconds / kDaySeconds;
  int64_t inDay = seconds % kDaySeconds;
  if (inDay < 0) {
    inDay += kDaySeconds;
    --days;
  }
  int64_t year = 0, month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  CivilTime t;
  t.year = year;
  t.month = static_cast<int>(month);
  t.day = static_cast<int>(day);
  t.hour = static_cast<int>(inDay / 3600);
  t.minute = static_cast<int>(inDay / 60 % 60);
  t.second = static_cast<int>(inDay % 60);
  t.weekday = WeekdayFromDays(days);
  return t;
}

// 1970-01-01 was a Thursday.
int WeekdayFromDays(int64_t days) { return static_cast<int>(((days + 4) % 7 + 7) % 7); }

std::optional<uint64_t> FileTimeFromUnixSeconds(int64_t seconds) {
  if (seconds < -kSecondsFrom1601To1970 || seconds > std::numeric_limits<int64_t>::max() / kTicksPerSecond)
    return std::nullopt;
  const uint64_t since1601 = static_cast<uint64_t>(seconds + kSecondsFrom1601To1970);
  return since1601 * static_cast<uint64_t>(kTicksPerSecond);
}

int64_t UnixSecondsFromFileTime(uint64_t fileTime) {
  // Unsigned on each side of 1970, so that 2^64 - 1 does not overflow.
  if (fileTime >= kFileTimeOf1970)
    return static_cast<int64_t>((fileTime - kFileTimeOf1970) / static_cast<uint64_t>(kTicksPerSecond));
  return -static_cast<int64_t>((kFileTimeOf1970 - fileTime) / static_cast<uint64_t>(kTicksPerSecond));
}

OffsetText ReadOffsetText(std::string_view text) {
  text = Trimmed(text);
  if (text.empty()) return {};
  const OffsetText invalid{OffsetRead::kInvalid, 0};
  if (EqualsNoCase(text, "GMT") || EqualsNoCase(text, "UTC") || EqualsNoCase(text, "Z"))
    return {OffsetRead::kMinutes, 0};
  const bool negative = text.front() == '-';
  if (negative || text.front() == '+') text.remove_prefix(1);
  int hours = 0, minutes = 0;
  size_t at = 0;
  const size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    // "hh:mm" and "h:mm", with optional ":ss".
    if (colon < 1 || colon > 2 || !Digits(text, at, colon, hours)) return invalid;
    ++at;
    if (!Digits(text, at, 2, minutes)) return invalid;
    int seconds = 0;
    if (at < text.size() && (text[at] != ':' || !Digits(text, ++at, 2, seconds))) return invalid;
    if (at != text.size() || seconds > 59) return invalid;
  } else {
    size_t digits = 0;
    while (digits < text.size() && IsDigit(text[digits])) ++digits;
    if (digits != text.size() || digits == 0) return invalid;
    int seconds = 0;
    switch (digits) {
      case 1:
      case 2:  // hours alone
        Digits(text, at, digits, hours);
        break;
      case 3:
      case 4:  // hmm, hhmm
        Digits(text, at, digits - 2, hours);
        Digits(text, at, 2, minutes);
        break;
      case 6:  // hhmmss
        Digits(text, at, 2, hours);
        Digits(text, at, 2, minutes);
        Digits(text, at, 2, seconds);
        if (seconds > 59) return invalid;
        break;
      default:
        return invalid;
    }
  }
  if (hours > 23 || minutes > 59) return invalid;
  const int total = hours * 60 + minutes;
  return {OffsetRead::kMinutes, negative ? -total : total};
}

std::string OffsetTextFromMinutes(int minutes) {
  const int64_t magnitude = minutes < 0 ? -static_cast<int64_t>(minutes) : minutes;
  return FormatText(kIsoTextCapacity, "%s%02d%02d", minutes < 0 ? "-" : "+", static_cast<int>(magnitude / 60),
                    static_cast<int>(magnitude % 60));
}

std::optional<DateTimeFields> ReadDateTimeText(std::string_view text) {
  text = Trimmed(text.substr(0, kDateTimeTextLimit));
  DateTimeFields f;
  size_t at = 0;
  if (!Digits(text, at, 4, f.year) || !Field(text, at, 2, '-', f.month) || !Field(text, at, 2, '-', f.day))
    return std::nullopt;
  if (at < text.size() && (text[at] == 'T' || text[at] == 't' || text[at] == ' ')) {
    ++at;
    if (!ReadTimePart(text, at, f)) return std::nullopt;
  }
  const std::string_view rest = text.substr(at);
  if (rest == "Z" || rest == "z") {
    f.zone = DateTimeZone::kUtc;
  } else if (!rest.empty()) {
    // An offset needs its sign here; "GMT" and the like are no part of a
    // date-time text.
    if (rest.front() != '+' && rest.front() != '-') return std::nullopt;
    const OffsetText offset = ReadOffsetText(rest);
    if (offset.read != OffsetRead::kMinutes) return std::nullopt;
    // A bare date is a whole UTC day: a zone appended to it changes nothing.
    if (f.hasTime) {
      f.zone = DateTimeZone::kOffset;
      f.offsetMinutes = offset.minutes;
    }
  }
  if (!FieldsInRange(f)) return std::nullopt;
  return f;
}

std::optional<uint64_t> FileTimeFromDateTimeText(std::string_view text, std::string_view offsetText) {
  const std::optional<DateTimeFields> f = ReadDateTimeText(text);
  if (!f) return std::nullopt;
  int offsetMinutes = f->zone == DateTimeZone::kOffset ? f->offsetMinutes : 0;
  const OffsetText given = ReadOffsetText(offsetText);
  if (given.read == OffsetRead::kInvalid) return std::nullopt;
  if (given.read == OffsetRead::kMinutes && f->hasTime && f->zone != DateTimeZone::kUtc)
    offsetMinutes = given.minutes;
  return FileTimeFromUnixSeconds(UnixSecondsOf(*f) - static_cast<int64_t>(offsetMinutes) * 60);
}

std::string IsoTextFromFileTime(uint64_t fileTime) {
  const CivilTime t = CivilFromUnixSeconds(UnixSecondsFromFileTime(fileTime));
  return FormatText(kIsoTextCapacity, "%4lld-%02d-%02dT%02d:%02d:%02d", static_cast<long long>(t.year), t.month,
                    t.day, t.hour, t.minute, t.second);
}

std::optional<uint64_t> FileTimeFromIsoText(std::string_view text) { return FileTimeFromDateTimeText(text); }

int64_t DurationSeconds(std::string_view text) {
  constexpr int64_t kNoDuration = 3600;
  text = Trimmed(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || ToUpperAscii(text.front()) != 'P') return kNoDuration;
  const std::optional<int64_t> seconds = DurationBody(text.substr(1));
  if (!seconds) return kNoDuration;
  return negative ? -*seconds : *seconds;
}

}  // namespace tw

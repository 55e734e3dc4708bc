#include "calendar/header_dates.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "common/text.h"

namespace tw {
namespace {

constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// At most this many digits are read into one field, so no field overflows.
constexpr size_t kMaxFieldDigits = 9;
// The last second a time can be formed for: 3000-12-31 23:59:59 UTC.
constexpr int kLastFormableYear = 3000;
constexpr int64_t kLastFormableTime = 32535215999;
constexpr int64_t kDaySeconds = 86400;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A cursor over the date text.
struct Cursor {
  std::string_view text;
  size_t at = 0;

  bool AtEnd() const { return at >= text.size(); }
  char Peek() const { return AtEnd() ? '\0' : text[at]; }
  void SkipBlanks() {
    while (!AtEnd() && IsBlank(text[at])) ++at;
  }
  // Digits into `value`; false when there is none. Extra digits are skipped.
  bool Number(int& value) {
    if (AtEnd() || !IsDigit(text[at])) return false;
    value = 0;
    size_t digits = 0;
    while (!AtEnd() && IsDigit(text[at])) {
      if (digits++ < kMaxFieldDigits) value = value * 10 + (text[at] - '0');
      ++at;
    }
    return true;
  }
  // The run up to the next blank or comma.
  std::string_view Word() {
    const size_t start = at;
    while (!AtEnd() && !IsBlank(text[at]) && text[at] != ',') ++at;
    return text.substr(start, at - start);
  }
};

struct MessageDateFields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  int zoneMinutes = 0;
};

// The zone after the time: a signed hhmm, or a name (0 minutes).
int ZoneMinutes(Cursor& c) {
  c.SkipBlanks();
  const char sign = c.Peek();
  if (sign != '+' && sign != '-') return 0;
  ++c.at;
  int hhmm = 0;
  if (!c.Number(hhmm)) return 0;
  const int minutes = (hhmm / 100) * 60 + hhmm % 100;
  return sign == '-' ? -minutes : minutes;
}

bool ReadMessageDate(std::string_view text, MessageDateFields& f) {
  Cursor c{text};
  c.SkipBlanks();
  if (IsAlpha(c.Peek())) {
    c.Word();
    c.SkipBlanks();
    if (c.Peek() == ',') ++c.at;
    c.SkipBlanks();
  }
  if (!c.Number(f.day)) return false;
  c.SkipBlanks();
  const std::string_view month = c.Word();
  if (month.empty()) return false;
  f.month = MonthIndexFromName(month) + 1;
  c.SkipBlanks();
  if (!c.Number(f.year)) return false;
  c.SkipBlanks();
  if (!c.Number(f.hour) || c.Peek() != ':') return false;
  ++c.at;
  if (!c.Number(f.minute)) return false;
  if (c.Peek() == ':') {
    ++c.at;
    c.Number(f.second);
  }
  f.zoneMinutes = ZoneMinutes(c);
  if (f.year < 1901) f.year += 2000;
  return true;
}

// Days from 1970-01-01 to the first of the month (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, int month) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The fields read as if they were UTC; days, hours, minutes and seconds
// beyond their range carry over.
int64_t WallSeconds(const MessageDateFields& f) {
  const int64_t days = DaysFromCivil(f.year, f.month) + f.day - 1;
  return days * kDaySeconds + static_cast<int64_t>(f.hour) * 3600 + static_cast<int64_t>(f.minute) * 60 + f.second;
}

// The local zone's offset from UTC at `when`, daylight time included.
bool LocalOffset(int64_t when, int64_t& offset) {
  const std::time_t t = static_cast<std::time_t>(when);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return false;
  offset = local.tm_gmtoff;
  return true;
}

size_t WriteFields(const MessageDateFields& f, char* out, size_t capacity) {
  const int n = std::snprintf(out, capacity, "%4d-%02d-%02dT%02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                              f.minute, f.second);
  if (n < 0) return 0;
  return static_cast<size_t>(n) < capacity ? static_cast<size_t>(n) : capacity - 1;
}

// atoi rules: leading blanks, an optional sign, digits (at most nine).
int LeadingNumber(std::string_view text) {
  Cursor c{text};
  c.SkipBlanks();
  const bool negative = c.Peek() == '-';
  if (negative || c.Peek() == '+') ++c.at;
  int value = 0;
  c.Number(value);
  return negative ? -value : value;
}

}  // namespace

int MonthIndexFromName(std::string_view name) {
  if (name.size() >= 3) {
    for (int i = 0; i < 12; ++i)
      if (EqualsNoCase(name.substr(0, 3), kMonthNames[i])) return i;
  }
  return 11;
}

size_t IsoDateFromMessageDate(std::string_view text, char* out, size_t capacity) {
  if (out == nullptr || capacity == 0) return 0;
  out[0] = '\0';
  MessageDateFields f;
  if (!ReadMessageDate(text, f)) return 0;
  if (f.year > kLastFormableYear) return WriteFields(f, out, capacity);

  // The fields as a local time, daylight time included; the C library's
  // mktime would re-read the zone file on every call.
  const int64_t wall = WallSeconds(f);
  if (wall < -kDaySeconds || wall > kLastFormableTime + kDaySeconds) return WriteFields(f, out, capacity);
  int64_t offset = 0;
  int64_t asLocal = 0;
  if (!LocalOffset(wall, offset)) return WriteFields(f, out, capacity);
  asLocal = wall - offset;
  int64_t offsetThen = 0;
  if (!LocalOffset(asLocal, offsetThen)) return WriteFields(f, out, capacity);
  if (offsetThen != offset) asLocal = wall - offsetThen;
  if (asLocal < 0 || asLocal > kLastFormableTime) return WriteFields(f, out, capacity);

  const std::time_t shifted = static_cast<std::time_t>(asLocal - static_cast<int64_t>(f.zoneMinutes) * 60);
  std::tm result{};
  if (shifted < 0 || localtime_r(&shifted, &result) == nullptr) return WriteFields(f, out, capacity);
  return std::strftime(out, capacity, "%Y-%m-%dT%H:%M:%S", &result);
}

std::string IsoDateFromMessageDate(std::string_view text) {
  char out[kIsoDateCapacity];
  const size_t n = IsoDateFromMessageDate(text, out, sizeof out);
  return std::string(out, n);
}

std::string IsoDateFromHeaderDate(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return {};
  const std::string_view hourText = text.substr(0, colon < 31 ? colon : 31);
  std::string_view rest = text.substr(colon + 1);
  const size_t minuteEnd = rest.find(' ');
  if (minuteEnd == std::string_view::npos) return {};
  const std::string_view minuteText = rest.substr(0, minuteEnd);
  rest = rest.substr(minuteEnd + 1);
  const size_t dayEnd = rest.find(' ');
  if (dayEnd == std::string_view::npos) return {};
  const std::string_view dayText = rest.substr(0, dayEnd);
  rest = rest.substr(dayEnd + 1);
  const size_t monthEnd = rest.find(", ");
  if (monthEnd == std::string_view::npos) return {};
  const std::string_view monthText = rest.substr(0, monthEnd);
  const std::string_view yearText = rest.substr(monthEnd + 2);

  int hour = LeadingNumber(hourText);
  int minute = LeadingNumber(minuteText);
  int day = LeadingNumber(dayText);
  int year = LeadingNumber(yearText);
  if (hour > 24 || hour < 0) hour = 0;
  if (minute > 59 || minute < 0) minute = 0;
  if (day < 1 || day > 31) day = 1;
  if (year < 1901) year += 2000;
  char out[kIsoDateCapacity];
  std::snprintf(out, sizeof out, "%4d-%02d-%02dT%02d:%02d:%02d", year, MonthIndexFromName(monthText) + 1, day,
                hour, minute, 0);
  return out;
}

}  // namespace tw

#include "calendar/header_dates.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "calendar/date_texts.h"
#include "common/text.h"

namespace tw {
namespace {

constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kWeekdayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
// Header dates read back to Unix times only for years a date text can hold.
constexpr int kFirstHeaderYear = 1601;
constexpr int kLastHeaderYear = 9999;
// At most this many digits are read into one field, so no field overflows.
constexpr size_t kMaxFieldDigits = 9;
// The last second a time can be formed for: 3000-12-31 23:59:59 UTC.
constexpr int kLastFormableYear = 3000;
constexpr int64_t kLastFormableTime = 32535215999;

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

// The fields read as if they were UTC; days, hours, minutes and seconds
// beyond their range carry over.
int64_t WallSeconds(const MessageDateFields& f) {
  const int64_t days = DaysFromCivil(f.year, f.month, 1) + f.day - 1;
  return days * kDaySeconds + static_cast<int64_t>(f.hour) * 3600 + static_cast<int64_t>(f.minute) * 60 + f.second;
}

// The local zone's offset from UTC at `when`, from the C library.
bool AskLocalOffset(int64_t when, int64_t& offset) {
  const std::time_t t = static_cast<std::time_t>(when);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return false;
  offset = local.tm_gmtoff;
  return true;
}

// The offsets of the hours of UTC asked lately, for the zone TZ named then:
// a scan converts two dates a message, three offsets each, and asking the C
// library costs more than all the rest of a date. An hour is kept only when
// its first and last second have the same offset, so a change-over inside
// it is always asked for.
struct LocalOffsetCache {
  struct Hour {
    int64_t hour = 0;
    int64_t offset = 0;
    bool known = false;
  };
  std::string zone;
  bool zoneSet = false;
  Hour hours[64];

  void FollowZone() {
    const char* tz = std::getenv("TZ");
    if (zoneSet == (tz != nullptr) && (tz == nullptr || zone == tz)) return;
    zoneSet = tz != nullptr;
    zone = tz != nullptr ? tz : "";
    for (Hour& h : hours) h.known = false;
  }
};

// The local zone's offset from UTC at `when`, daylight time included.
bool LocalOffset(int64_t when, int64_t& offset) {
  thread_local LocalOffsetCache cache;
  cache.FollowZone();
  const int64_t hour = (when >= 0 ? when : when - 3599) / 3600;
  LocalOffsetCache::Hour& kept = cache.hours[static_cast<uint64_t>(hour) % 64];
  if (kept.known && kept.hour == hour) {
    offset = kept.offset;
    return true;
  }
  int64_t first = 0;
  int64_t last = 0;
  if (!AskLocalOffset(hour * 3600, first) || !AskLocalOffset(hour * 3600 + 3599, last) || first != last)
    return AskLocalOffset(when, offset);
  kept = {hour, first, true};
  offset = first;
  return true;
}

size_t WriteFields(const MessageDateFields& f, char* out, size_t capacity) {
  const int n = std::snprintf(out, capacity, "%4d-%02d-%02dT%02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                              f.minute, f.second);
  if (n < 0) return 0;
  return static_cast<size_t>(n) < capacity ? static_cast<size_t>(n) : capacity - 1;
}

// WriteFields for a time formed here (a four-digit year, every field in
// range), without the cost of a formatted print.
size_t WriteIsoDigits(const MessageDateFields& f, char* out, size_t capacity) {
  if (f.year < 1000 || f.year > 9999 || capacity < 20) return WriteFields(f, out, capacity);
  auto two = [](char* at, int value) {
    at[0] = static_cast<char>('0' + value / 10);
    at[1] = static_cast<char>('0' + value % 10);
  };
  two(out, f.year / 100);
  two(out + 2, f.year % 100);
  out[4] = '-';
  two(out + 5, f.month);
  out[7] = '-';
  two(out + 8, f.day);
  out[10] = 'T';
  two(out + 11, f.hour);
  out[13] = ':';
  two(out + 14, f.minute);
  out[16] = ':';
  two(out + 17, f.second);
  out[19] = '\0';
  return 19;
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

struct HeaderDateFields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

// "hour:minute[:second] day month, year", split at the first ":", the next
// blank, the next blank and ", "; out-of-range fields are mended.
bool ReadHeaderDate(std::string_view text, HeaderDateFields& f) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view hourText = text.substr(0, colon < 31 ? colon : 31);
  std::string_view rest = text.substr(colon + 1);
  const size_t minuteEnd = rest.find(' ');
  if (minuteEnd == std::string_view::npos) return false;
  const std::string_view minuteText = rest.substr(0, minuteEnd);
  rest = rest.substr(minuteEnd + 1);
  const size_t dayEnd = rest.find(' ');
  if (dayEnd == std::string_view::npos) return false;
  const std::string_view dayText = rest.substr(0, dayEnd);
  rest = rest.substr(dayEnd + 1);
  const size_t monthEnd = rest.find(", ");
  if (monthEnd == std::string_view::npos) return false;
  const std::string_view monthText = rest.substr(0, monthEnd);
  const std::string_view yearText = rest.substr(monthEnd + 2);

  f.hour = LeadingNumber(hourText);
  f.minute = LeadingNumber(minuteText);
  f.day = LeadingNumber(dayText);
  f.year = LeadingNumber(yearText);
  f.month = MonthIndexFromName(monthText) + 1;
  if (f.hour > 24 || f.hour < 0) f.hour = 0;
  if (f.minute > 59 || f.minute < 0) f.minute = 0;
  if (f.day < 1 || f.day > 31) f.day = 1;
  if (f.year < 1901) f.year += 2000;
  return true;
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

  const int64_t shifted = asLocal - static_cast<int64_t>(f.zoneMinutes) * 60;
  int64_t shiftedOffset = 0;
  if (shifted < 0 || !LocalOffset(shifted, shiftedOffset)) return WriteFields(f, out, capacity);
  const int64_t local = shifted + shiftedOffset;
  const int64_t days = (local >= 0 ? local : local - (kDaySeconds - 1)) / kDaySeconds;
  const int64_t secondOfDay = local - days * kDaySeconds;
  MessageDateFields result;
  int64_t year = 0, month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  result.year = static_cast<int>(year);
  result.month = static_cast<int>(month);
  result.day = static_cast<int>(day);
  result.hour = static_cast<int>(secondOfDay / 3600);
  result.minute = static_cast<int>(secondOfDay / 60 % 60);
  result.second = static_cast<int>(secondOfDay % 60);
  return WriteIsoDigits(result, out, capacity);
}

std::string IsoDateFromMessageDate(std::string_view text) {
  char out[kIsoDateCapacity];
  const size_t n = IsoDateFromMessageDate(text, out, sizeof out);
  return std::string(out, n);
}

std::string IsoDateFromHeaderDate(std::string_view text) {
  HeaderDateFields f;
  if (!ReadHeaderDate(text, f)) return {};
  char out[kIsoDateCapacity];
  std::snprintf(out, sizeof out, "%4d-%02d-%02dT%02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute, 0);
  return out;
}

std::optional<int64_t> UnixTimeFromHeaderDate(std::string_view text) {
  HeaderDateFields f;
  if (!ReadHeaderDate(text, f) || f.year < kFirstHeaderYear || f.year > kLastHeaderYear) return std::nullopt;
  return DaysFromCivil(f.year, f.month, f.day) * kDaySeconds + static_cast<int64_t>(f.hour) * 3600 +
         static_cast<int64_t>(f.minute) * 60;
}

std::string HeaderDateFromUnixTime(int64_t seconds) {
  const CivilTime t = CivilFromUnixSeconds(seconds);
  const char* month = kMonthNames[t.month - 1];
  const int year = static_cast<int>(t.year);
  if (t.second != 0)
    return FormatText(kIsoDateCapacity, "%02d:%02d:%02d %02d %s, %4d", t.hour, t.minute, t.second, t.day, month, year);
  return FormatText(kIsoDateCapacity, "%02d:%02d %02d %s, %4d", t.hour, t.minute, t.day, month, year);
}

std::string MessageDateFromUnixTime(int64_t seconds) {
  // Far beyond any calendar the C library is not asked (nor can the
  // offset overflow the sum).
  constexpr int64_t kFarthest = int64_t{1} << 53;
  int64_t offset = 0;
  if (seconds < -kFarthest || seconds > kFarthest || !LocalOffset(seconds, offset)) offset = 0;
  const CivilTime t = CivilFromUnixSeconds(seconds + offset);
  const char* weekday = kWeekdayNames[t.weekday];
  const char* month = kMonthNames[t.month - 1];
  const std::string date = FormatText(kIsoDateCapacity, "%s, %d %s %04d", weekday, t.day, month,
                                      static_cast<int>(t.year));
  const std::string time = FormatText(kIsoDateCapacity, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  // Minutes east of UTC as hhmm, seconds of old local mean times dropped.
  const int64_t minutes = offset / 60;
  const int64_t magnitude = minutes < 0 ? -minutes : minutes;
  const int hhmm = static_cast<int>(magnitude / 60 * 100 + magnitude % 60);
  if (minutes < 0) return FormatText(kIsoDateCapacity, "%s %s %4.4d", date.c_str(), time.c_str(), -hhmm);
  return FormatText(kIsoDateCapacity, "%s %s %c%4.4d", date.c_str(), time.c_str(), '+', hhmm);
}

std::string CurrentMessageDate() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return MessageDateFromUnixTime(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

}  // namespace tw

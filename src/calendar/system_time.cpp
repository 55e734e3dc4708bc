#include "calendar/system_time.h"

#include <algorithm>

#include "calendar/date_texts.h"

namespace tw {
namespace {

constexpr int64_t kFirstYear = 1601;
constexpr int64_t kLastYear = 30827;

}  // namespace

std::optional<SystemTime> SystemTimeFromUnixSeconds(int64_t seconds) {
  const CivilTime civil = CivilFromUnixSeconds(seconds);
  if (civil.year < kFirstYear || civil.year > kLastYear) return std::nullopt;
  SystemTime time;
  time.year = static_cast<uint16_t>(civil.year);
  time.month = static_cast<uint16_t>(civil.month);
  time.dayOfWeek = static_cast<uint16_t>(civil.weekday);
  time.day = static_cast<uint16_t>(civil.day);
  time.hour = static_cast<uint16_t>(civil.hour);
  time.minute = static_cast<uint16_t>(civil.minute);
  time.second = static_cast<uint16_t>(civil.second);
  return time;
}

std::optional<SystemTime> SystemTimeFromTextFields(const DateTimeFields& fields) {
  if (fields.year > 9999) return std::nullopt;
  SystemTime time;
  time.year = static_cast<uint16_t>(fields.year);
  time.month = static_cast<uint16_t>(fields.month);
  time.day = static_cast<uint16_t>(fields.day);
  time.hour = static_cast<uint16_t>(fields.hour);
  time.minute = static_cast<uint16_t>(fields.minute);
  time.second = static_cast<uint16_t>(std::min(fields.second, 59));  // a leap second
  return time;
}

std::optional<int64_t> UnixSecondsFromSystemTime(const SystemTime& time) {
  if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > DaysInMonth(time.year, time.month) ||
      time.hour > 23 || time.minute > 59 || time.second > 59)
    return std::nullopt;
  return DaysFromCivil(time.year, time.month, time.day) * kDaySeconds + time.hour * 3600 + time.minute * 60 +
         time.second;
}

}  // namespace tw

#include <ctime>
#include <limits>

#include "platform/files.h"

namespace tw::platform {

namespace {

constexpr uint64_t kUnitsPerSecond = 10000000;
// 1601-01-01 to 1970-01-01 in seconds.
constexpr int64_t kEpochDifferenceSeconds = 11644473600;

// The MS-DOS format holds the years 1980 to 2107.
constexpr int kDosFirstYear = 1980;
constexpr int kDosLastYear = 2107;

}  // namespace

uint64_t FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
  if (seconds < -kEpochDifferenceSeconds) return 0;
  const uint64_t since1601 = static_cast<uint64_t>(seconds + kEpochDifferenceSeconds);
  if (since1601 > (std::numeric_limits<uint64_t>::max() - kUnitsPerSecond) / kUnitsPerSecond)
    return std::numeric_limits<uint64_t>::max();
  return since1601 * kUnitsPerSecond + (nanoseconds % 1000000000u) / 100;
}

int64_t UnixFromFileTime(uint64_t fileTime) {
  return static_cast<int64_t>(fileTime / kUnitsPerSecond) - kEpochDifferenceSeconds;
}

uint64_t CurrentFileTime() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return FileTimeFromUnix(now.tv_sec, static_cast<uint32_t>(now.tv_nsec));
}

uint32_t FileTimeToDosDateTime(uint64_t fileTime) {
  const time_t t = static_cast<time_t>(UnixFromFileTime(fileTime));
  tm local{};
  if (!::localtime_r(&t, &local)) return 0;
  const int year = local.tm_year + 1900;
  // Times outside the format's range are pinned to its ends.
  if (year < kDosFirstYear) return (0u << 9 | 1u << 5 | 1u) << 16;
  if (year > kDosLastYear)
    return (static_cast<uint32_t>(kDosLastYear - kDosFirstYear) << 9 | 12u << 5 | 31u) << 16 |
           (23u << 11 | 59u << 5 | 29u);
  const uint32_t date = static_cast<uint32_t>(year - kDosFirstYear) << 9 |
                        static_cast<uint32_t>(local.tm_mon + 1) << 5 | static_cast<uint32_t>(local.tm_mday);
  const uint32_t time = static_cast<uint32_t>(local.tm_hour) << 11 | static_cast<uint32_t>(local.tm_min) << 5 |
                        static_cast<uint32_t>(local.tm_sec / 2);
  return date << 16 | time;
}

uint64_t DosDateTimeToFileTime(uint32_t dosDateTime) {
  const uint32_t date = dosDateTime >> 16;
  const uint32_t time = dosDateTime & 0xFFFF;
  tm local{};
  local.tm_year = static_cast<int>(date >> 9) + kDosFirstYear - 1900;
  // A zero month or day (an empty DOS date) reads as the first.
  const int month = static_cast<int>((date >> 5) & 0x0F);
  const int day = static_cast<int>(date & 0x1F);
  local.tm_mon = (month == 0 ? 1 : month) - 1;
  local.tm_mday = day == 0 ? 1 : day;
  local.tm_hour = static_cast<int>(time >> 11);
  local.tm_min = static_cast<int>((time >> 5) & 0x3F);
  local.tm_sec = static_cast<int>(time & 0x1F) * 2;
  local.tm_isdst = -1;
  const time_t t = ::mktime(&local);
  if (t == static_cast<time_t>(-1)) return 0;
  return FileTimeFromUnix(static_cast<int64_t>(t));
}

}  // namespace tw::platform

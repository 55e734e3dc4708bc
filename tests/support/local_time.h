// A wall-clock time for the zone tests, fields as written.
#pragma once
#include <cstdint>

#include "calendar/system_time.h"

namespace tw::test {

inline SystemTime LocalTime(int year, int month, int day, int hour, int minute = 0) {
  SystemTime t;
  t.year = static_cast<uint16_t>(year);
  t.month = static_cast<uint16_t>(month);
  t.day = static_cast<uint16_t>(day);
  t.hour = static_cast<uint16_t>(hour);
  t.minute = static_cast<uint16_t>(minute);
  return t;
}

}  // namespace tw::test

// Every hour of 2000-2060 in zones named by their Windows names: the offset
// the record path gives for the local time must be the C library's for the
// same zone file. Hours that are repeated (or skipped) on the wall clock
// have no single answer and are left out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "calendar/date_texts.h"
#include "calendar/named_time_zones.h"
#include "calendar/time_zone_offsets.h"
#include "platform/windows_zones.h"

namespace tw {
namespace {

constexpr int64_t kHour = 3600;

class ScopedTz {
 public:
  explicit ScopedTz(const std::string& zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone.c_str(), 1);
    tzset();
  }
  ~ScopedTz() {
    if (old_)
      setenv("TZ", old_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

struct HourFacts {
  SystemTime local;
  int offsetMinutes;
};

// Mismatching hours of one zone, as "local time: ours vs the C library's".
std::vector<std::string> WalkZone(const std::string& windowsName, int& yearsWithManyChanges,
                                  std::vector<int>* mismatchYears) {
  const std::string systemZone = platform::SystemZoneIdFromName(windowsName);
  EXPECT_FALSE(systemZone.empty()) << windowsName;
  const auto zone = TimeZoneFromName(windowsName);
  EXPECT_TRUE(zone) << windowsName;
  if (systemZone.empty() || !zone) return {"unknown zone"};

  ScopedTz tz(systemZone);
  const auto libcOffset = [](int64_t t) {
    const time_t when = static_cast<time_t>(t);
    tm fields{};
    localtime_r(&when, &fields);
    return static_cast<int>(fields.tm_gmtoff);
  };
  const int64_t start = DaysFromCivil(1999, 12, 30) * kDaySeconds;
  const int64_t end = DaysFromCivil(2061, 1, 3) * kDaySeconds;
  std::vector<HourFacts> hours;
  hours.reserve(static_cast<size_t>((end - start) / kHour));
  // The C library is asked hour by hour only on days its offset changes
  // (its changes are weeks apart): after 2037 it reads the zone's final
  // rule on every call, which would make the walk slow.
  int dayStartOffset = libcOffset(start);
  for (int64_t day = start; day < end; day += kDaySeconds) {
    const int nextDayOffset = libcOffset(day + kDaySeconds);
    for (int64_t t = day; t < day + kDaySeconds; t += kHour) {
      const int offset = dayStartOffset == nextDayOffset ? dayStartOffset : libcOffset(t);
      const CivilTime civil = CivilFromUnixSeconds(t + offset);
      HourFacts facts;
      facts.local.year = static_cast<uint16_t>(civil.year);
      facts.local.month = static_cast<uint16_t>(civil.month);
      facts.local.day = static_cast<uint16_t>(civil.day);
      facts.local.hour = static_cast<uint16_t>(civil.hour);
      facts.local.minute = static_cast<uint16_t>(civil.minute);
      facts.offsetMinutes = offset / 60;
      hours.push_back(facts);
    }
    dayStartOffset = nextDayOffset;
  }

  std::vector<int> changesPerYear(2062, 0);
  for (size_t i = 1; i < hours.size(); ++i)
    if (hours[i].offsetMinutes != hours[i - 1].offsetMinutes) ++changesPerYear[hours[i].local.year];
  yearsWithManyChanges = 0;
  for (int year = 2000; year <= 2060; ++year) yearsWithManyChanges += changesPerYear[year] > 2;

  std::vector<std::string> mismatches;
  const size_t around = 30;  // hours: change-overs are weeks apart
  for (size_t i = around; i + around < hours.size(); ++i) {
    const HourFacts& h = hours[i];
    if (h.local.year < 2000 || h.local.year > 2060) continue;
    // A wall time another hour nearby also shows is repeated.
    const int64_t wall = DaysFromCivil(h.local.year, h.local.month, h.local.day) * kDaySeconds +
                         h.local.hour * kHour + h.local.minute * 60;
    bool repeated = false;
    if (hours[i - around].offsetMinutes != hours[i + around].offsetMinutes) {
      for (size_t j = i - around; j <= i + around && !repeated; ++j) {
        if (j == i) continue;
        const HourFacts& o = hours[j];
        repeated = DaysFromCivil(o.local.year, o.local.month, o.local.day) * kDaySeconds + o.local.hour * kHour +
                       o.local.minute * 60 ==
                   wall;
      }
    }
    if (repeated) continue;
    const std::string text = VCalendar_GetApplicableOffsetString(*zone, h.local);
    const OffsetText ours = ReadOffsetText(text);
    if (ours.read != OffsetRead::kMinutes || ours.minutes != h.offsetMinutes) {
      if (mismatchYears && (mismatchYears->empty() || mismatchYears->back() != h.local.year))
        mismatchYears->push_back(h.local.year);
      if (mismatches.size() < 5)
        mismatches.push_back(std::to_string(h.local.year) + "-" + std::to_string(h.local.month) + "-" +
                             std::to_string(h.local.day) + " " + std::to_string(h.local.hour) + ":00 ours " + text +
                             " libc " + std::to_string(h.offsetMinutes));
      else
        mismatches.back() = "... and more";
    }
  }
  return mismatches;
}

// One test per zone, so each stays short under the sanitizers.
class ZoneWalkTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ZoneWalkTest, EveryHourMatchesTheCLibrary) {
  int many = 0;
  EXPECT_EQ(WalkZone(GetParam(), many, nullptr), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    WindowsNames, ZoneWalkTest,
    ::testing::Values("Pacific Standard Time", "Mountain Standard Time", "Central Standard Time",
                      "Eastern Standard Time", "US Mountain Standard Time", "Central Standard Time (Mexico)",
                      "Alaskan Standard Time", "Hawaiian Standard Time", "Newfoundland Standard Time",
                      "E. South America Standard Time", "Pacific SA Standard Time", "Argentina Standard Time",
                      "GMT Standard Time", "W. Europe Standard Time", "Romance Standard Time", "FLE Standard Time",
                      "Russian Standard Time", "Jordan Standard Time", "South Africa Standard Time",
                      "Israel Standard Time", "Iran Standard Time", "India Standard Time", "Nepal Standard Time",
                      "China Standard Time", "Tokyo Standard Time", "Cen. Australia Standard Time",
                      "AUS Eastern Standard Time", "New Zealand Standard Time", "Tonga Standard Time", "UTC"));

void CheckManyChanges(const std::string& name, const std::vector<int>& years);

// Morocco leaves its standard +01 for Ramadan, which some years holds
// twice; Egypt broke its daylight time for Ramadan in 2010 and 2014; Samoa
// went from daylight -10 to daylight +14 in December 2011, after two
// changes that year already. Years with more than two changes
// keep the last change of each kind, so only their hours may differ.
TEST(ZoneWalkManyChangesTest, DifferOnlyInYearsWithMoreThanTwoChanges) {
  for (const char* name : {"Morocco Standard Time", "Egypt Standard Time", "Samoa Standard Time"}) {
    int many = 0;
    std::vector<int> years;
    WalkZone(name, many, &years);
    EXPECT_GT(many, 0) << name;
    CheckManyChanges(name, years);
  }
}

void CheckManyChanges(const std::string& name, const std::vector<int>& years) {
  ScopedTz tz(platform::SystemZoneIdFromName(name));
  for (int year : years) {
    int changes = 0;
    int last = 0;
    for (int64_t t = DaysFromCivil(year, 1, 1) * kDaySeconds; t < DaysFromCivil(year + 1, 1, 1) * kDaySeconds;
         t += kHour) {
      const time_t when = static_cast<time_t>(t);
      tm fields{};
      localtime_r(&when, &fields);
      const int offset = static_cast<int>(fields.tm_gmtoff);
      if (t != DaysFromCivil(year, 1, 1) * kDaySeconds && offset != last) ++changes;
      last = offset;
    }
    ASSERT_GT(changes, 2) << name << " " << year;
  }
}

}  // namespace
}  // namespace tw

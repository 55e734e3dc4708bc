#include "platform/zone_rules.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <date/tz.h>

#include "platform/posix_zone_rule.h"
#include "platform/windows_zones.h"

namespace tw::platform {
namespace {

constexpr const char* kZoneDirectory = "/usr/share/zoneinfo/";
constexpr int64_t kDaySeconds = 86400;
// Zone files are a few kilobytes; anything far larger is no zone file.
constexpr std::streamsize kZoneFileLimit = 1 << 20;

// One change of offset, at a wall-clock time of the offset before it
// (seconds since 1970-01-01 00:00 of that clock).
struct OffsetChange {
  int64_t wallSeconds = 0;
  int beforeMinutes = 0;
  int afterMinutes = 0;
  bool daylightAfter = false;
};

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

date::year_month_day DateOfWall(int64_t wallSeconds) {
  return date::year_month_day{date::sys_days{date::days{FloorDiv(wallSeconds, kDaySeconds)}}};
}

int64_t WallSecondsOfDay(const date::year_month_day& day) {
  return static_cast<int64_t>(date::sys_days{day}.time_since_epoch().count()) * kDaySeconds;
}

ZoneChangeDate ChangeDateOfWall(int64_t wallSeconds) {
  const date::year_month_day day = DateOfWall(wallSeconds);
  const int64_t timeOfDay = wallSeconds - WallSecondsOfDay(day);
  ZoneChangeDate date;
  date.month = static_cast<int>(static_cast<unsigned>(day.month()));
  date.dayOfWeek = static_cast<int>(date::weekday{date::sys_days{day}}.c_encoding());
  // A fifth such weekday is always the last, which week 5 means.
  date.week = (static_cast<int>(static_cast<unsigned>(day.day())) - 1) / 7 + 1;
  date.hour = static_cast<int>(timeOfDay / 3600);
  date.minute = static_cast<int>(timeOfDay / 60 % 60);
  date.second = static_cast<int>(timeOfDay % 60);
  return date;
}

int YearOfWall(int64_t wallSeconds) { return static_cast<int>(DateOfWall(wallSeconds).year()); }

// The POSIX TZ text on the last line of a version 2+ zone file.
std::string FinalRuleText(std::string_view zoneId) {
  std::ifstream file(std::string(kZoneDirectory) + std::string(zoneId), std::ios::binary);
  if (!file) return {};
  std::string bytes;
  bytes.resize(static_cast<size_t>(kZoneFileLimit));
  file.read(bytes.data(), kZoneFileLimit);
  bytes.resize(static_cast<size_t>(file.gcount()));
  if (bytes.size() < 6 || bytes.compare(0, 4, "TZif") != 0 || bytes[4] < '2' || bytes.back() != '\n') return {};
  const size_t start = bytes.rfind('\n', bytes.size() - 2);
  if (start == std::string::npos) return {};
  return bytes.substr(start + 1, bytes.size() - start - 2);
}

// The transitions the file lists whose wall-clock time falls in the year;
// none and `pastFile` when the file lists no transition from then on.
std::vector<OffsetChange> ListedChanges(const date::time_zone& zone, int year, int& yearOffset, bool& pastFile) {
  using std::chrono::duration_cast;
  using std::chrono::minutes;
  const date::sys_seconds from{date::sys_days{date::year{year} / 1 / 1} - date::days{2}};
  const date::sys_seconds to{date::sys_days{date::year{year + 1} / 1 / 1} + date::days{2}};
  const date::sys_seconds farFuture{date::sys_days{date::year{9999} / 1 / 1}};
  date::sys_info info = zone.get_info(from);
  // A year without changes has one offset throughout.
  const date::sys_info midYear = zone.get_info(date::sys_days{date::year{year} / 7 / 1});
  yearOffset = static_cast<int>(duration_cast<minutes>(midYear.offset).count());
  pastFile = info.end >= farFuture;
  std::vector<OffsetChange> changes;
  for (int guard = 0; guard < 64 && info.end < to; ++guard) {
    const date::sys_info next = zone.get_info(info.end);
    OffsetChange change;
    change.wallSeconds = info.end.time_since_epoch().count() + info.offset.count();
    change.beforeMinutes = static_cast<int>(duration_cast<minutes>(info.offset).count());
    change.afterMinutes = static_cast<int>(duration_cast<minutes>(next.offset).count());
    // The files carry only a daylight flag; the date library reports it as
    // a non-zero save.
    change.daylightAfter = next.save != minutes{0};
    changes.push_back(change);
    info = next;
  }
  return changes;
}

std::vector<OffsetChange> FinalRuleChanges(const PosixZoneRule& rule, int year) {
  std::vector<OffsetChange> changes;
  if (!rule.hasDaylight) return changes;
  auto wall = [year](const PosixRuleDate& date) {
    const date::year_month_day day{date::year{year}, date::month{static_cast<unsigned>(date.month)},
                                   date::day{static_cast<unsigned>(PosixRuleDay(date, year))}};
    return WallSecondsOfDay(day) + date.seconds;
  };
  changes.push_back({wall(rule.toDaylight), rule.standardMinutes, rule.daylightMinutes, true});
  changes.push_back({wall(rule.toStandard), rule.daylightMinutes, rule.standardMinutes, false});
  std::sort(changes.begin(), changes.end(), [](const OffsetChange& a, const OffsetChange& b) {
    return a.wallSeconds - a.beforeMinutes * 60 < b.wallSeconds - b.beforeMinutes * 60;
  });
  return changes;
}

ZoneYearRules RulesFromChanges(const std::vector<OffsetChange>& changes, int yearOffset, int year) {
  ZoneYearRules rules;
  rules.standardMinutes = rules.daylightMinutes = yearOffset;
  const auto lastOfKind = [&](bool daylight) {
    const auto found = std::find_if(changes.rbegin(), changes.rend(),
                                    [daylight](const OffsetChange& c) { return c.daylightAfter == daylight; });
    return found == changes.rend() ? nullptr : &*found;
  };
  const OffsetChange* toDaylight = lastOfKind(true);
  const OffsetChange* toStandard = lastOfKind(false);
  if (toDaylight && toStandard) {
    rules.standardMinutes = toStandard->afterMinutes;
    rules.daylightMinutes = toDaylight->afterMinutes;
    rules.standardDate = ChangeDateOfWall(toStandard->wallSeconds);
    rules.daylightDate = ChangeDateOfWall(toDaylight->wallSeconds);
    return rules;
  }
  if (changes.empty()) return rules;
  const OffsetChange& only = changes.back();
  const int64_t yearStart = WallSecondsOfDay(date::year{year} / 1 / 1);
  rules.standardMinutes = rules.daylightMinutes = only.afterMinutes;
  if (only.wallSeconds <= yearStart) return rules;
  // 1 January 00:00 is the first of its own weekday, so week 1 names it.
  const ZoneChangeDate yearStartDate = ChangeDateOfWall(yearStart);
  if (only.daylightAfter) {
    rules.standardMinutes = only.beforeMinutes;
    rules.standardDate = yearStartDate;
    rules.daylightDate = ChangeDateOfWall(only.wallSeconds);
  } else {
    rules.daylightMinutes = only.beforeMinutes;
    rules.daylightDate = yearStartDate;
    rules.standardDate = ChangeDateOfWall(only.wallSeconds);
  }
  return rules;
}

}  // namespace

std::optional<ZoneYearRules> ZoneYearRulesFromSystem(std::string_view zoneId, int year) {
  if (year < 1 || year > 9999 || !SystemZoneExists(zoneId)) return std::nullopt;
  try {
    const date::time_zone* zone = date::locate_zone(zoneId);
    int yearOffset = 0;
    bool pastFile = false;
    std::vector<OffsetChange> changes = ListedChanges(*zone, year, yearOffset, pastFile);
    if (pastFile) {
      const auto rule = ReadPosixZoneRule(FinalRuleText(zoneId));
      if (rule) {
        yearOffset = rule->standardMinutes;
        changes = FinalRuleChanges(*rule, year);
      }
    }
    std::erase_if(changes, [year](const OffsetChange& c) {
      return c.beforeMinutes == c.afterMinutes || YearOfWall(c.wallSeconds) != year;
    });
    return RulesFromChanges(changes, yearOffset, year);
  } catch (const std::exception&) {
    // A zone file the date library cannot read is an unknown zone.
    return std::nullopt;
  }
}

}  // namespace tw::platform

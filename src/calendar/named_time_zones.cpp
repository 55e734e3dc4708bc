#include "calendar/named_time_zones.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "calendar/date_texts.h"
#include "calendar/recurrence_rule_parts.h"
#include "calendar/time_zone_block.h"
#include "frame/event_report.h"
#include "frame/providers.h"
#include "platform/windows_zones.h"
#include "platform/zone_rules.h"

namespace tw {
namespace {

// Hostile names must not grow the caches without end; past these sizes a
// cache starts over.
constexpr size_t kNameCacheLimit = 1024;
constexpr size_t kYearCacheLimit = 16384;

struct YearZone {
  TimeZoneValue value;
  std::shared_ptr<const TimeZoneRecord> record;
};

class ZoneCache {
 public:
  // The system zone id of a name; empty for an unknown one.
  std::string SystemZone(std::string_view name) {
    {
      std::lock_guard lock(mutex_);
      if (const auto it = names_.find(std::string(name)); it != names_.end()) return it->second;
    }
    std::string id = platform::SystemZoneIdFromName(name);
    std::lock_guard lock(mutex_);
    if (names_.size() >= kNameCacheLimit) names_.clear();
    names_.emplace(std::string(name), id);
    return id;
  }

  std::optional<YearZone> ForYear(const std::string& systemZone, int year) {
    const auto key = std::make_pair(systemZone, year);
    {
      std::lock_guard lock(mutex_);
      if (const auto it = years_.find(key); it != years_.end()) return it->second;
    }
    const auto rules = platform::ZoneYearRulesFromSystem(systemZone, year);
    if (!rules) return std::nullopt;
    YearZone zone;
    zone.value = ValueFromRules(*rules);
    zone.record = std::make_shared<const TimeZoneRecord>(RecordFromTimeZoneValue(systemZone, zone.value));
    std::lock_guard lock(mutex_);
    if (years_.size() >= kYearCacheLimit) years_.clear();
    years_.emplace(key, zone);
    return zone;
  }

 private:
  static SystemTime RuleDate(const platform::ZoneChangeDate& date) {
    SystemTime time;
    time.month = static_cast<uint16_t>(date.month);
    time.dayOfWeek = static_cast<uint16_t>(date.dayOfWeek);
    time.day = static_cast<uint16_t>(date.week);
    time.hour = static_cast<uint16_t>(date.hour);
    time.minute = static_cast<uint16_t>(date.minute);
    time.second = static_cast<uint16_t>(date.second);
    return time;
  }

  static TimeZoneValue ValueFromRules(const platform::ZoneYearRules& rules) {
    TimeZoneValue value;
    value.bias = -rules.standardMinutes;
    value.daylightBias = rules.standardMinutes - rules.daylightMinutes;
    value.standardDate = RuleDate(rules.standardDate);
    value.daylightDate = RuleDate(rules.daylightDate);
    return value;
  }

  std::mutex mutex_;
  std::unordered_map<std::string, std::string> names_;
  std::map<std::pair<std::string, int>, YearZone> years_;
};

ZoneCache& Cache() {
  static ZoneCache* cache = new ZoneCache;  // lives as long as the process
  return *cache;
}

TimeZoneSection SectionFromRuleDate(const SystemTime& date, int fromMinutes, int toMinutes) {
  TimeZoneSection section;
  section.changeOver.hour = date.hour;
  section.changeOver.minute = date.minute;
  section.changeOver.second = date.second;
  RecurrencePattern rule;
  rule.type = kRecurYearlyByPosition;
  rule.monthOfYear = date.month;
  rule.dayOfWeekMask = 1u << (date.dayOfWeek % 7);
  rule.instance = date.day;
  section.rule = rule;
  section.offsetFrom = OffsetTextFromMinutes(fromMinutes);
  section.offsetTo = OffsetTextFromMinutes(toMinutes);
  return section;
}

int CurrentYear() {
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  return static_cast<int>(CivilFromUnixSeconds(seconds).year);
}

std::optional<TimeZoneRecord> ZoneFromName(std::string_view name) {
  const std::string trimmed(TrimRuleBlanks(name));
  if (trimmed.empty() || trimmed.size() > kTimeZoneNameLimit) return std::nullopt;
  const std::string systemZone = Cache().SystemZone(trimmed);
  if (systemZone.empty()) return std::nullopt;
  const auto year = Cache().ForYear(systemZone, CurrentYear());
  if (!year) return std::nullopt;
  TimeZoneRecord record = *year->record;
  record.name = trimmed;
  record.systemZone = systemZone;
  return record;
}

}  // namespace

TimeZoneRecord RecordFromTimeZoneValue(std::string_view name, const TimeZoneValue& value) {
  // Biases are minutes; a hostile value must not overflow the sums.
  const int64_t standard = -(int64_t{value.bias} + value.standardBias);
  const int64_t daylight = -(int64_t{value.bias} + value.daylightBias);
  const auto clamp = [](int64_t m) { return static_cast<int>(std::max<int64_t>(-1439, std::min<int64_t>(1439, m))); };
  TimeZoneRecord record;
  record.name.assign(name.substr(0, kTimeZoneNameLimit));
  record.standard = SectionFromRuleDate(value.standardDate, clamp(daylight), clamp(standard));
  if (value.daylightDate.month != 0)
    record.daylight = SectionFromRuleDate(value.daylightDate, clamp(standard), clamp(daylight));
  return record;
}

bool CAL_TimeZoneOffsetsByTZName(std::string_view name, int year, TimeZoneValue& value) {
  return AtBoundary("CAL_TimeZoneOffsetsByTZName", kTimeZoneSourceModule, __LINE__, false, [&] {
    if (year < 1601 || year > 9999) return false;
    const std::string systemZone = Cache().SystemZone(TrimRuleBlanks(name));
    if (systemZone.empty()) return false;
    const auto zone = Cache().ForYear(systemZone, year);
    if (!zone) return false;
    value = zone->value;
    return true;
  });
}

std::shared_ptr<const TimeZoneRecord> NamedTimeZoneForYear(const std::string& systemZone, int year) {
  // Dates come in runs of one zone and year; the last answer skips the lock.
  thread_local std::string lastZone;
  thread_local int lastYear = 0;
  thread_local std::shared_ptr<const TimeZoneRecord> lastRecord;
  if (lastRecord && lastYear == year && lastZone == systemZone) return lastRecord;
  const auto zone = Cache().ForYear(systemZone, year);
  if (!zone) return nullptr;
  lastZone = systemZone;
  lastYear = year;
  lastRecord = zone->record;
  return lastRecord;
}

std::optional<TimeZoneRecord> TimeZoneFromName(std::string_view name) { return ZoneFromName(name); }

std::optional<TimeZoneRecord> VCAL_GetMailboxTimeZone(const std::string& postoffice, const std::string& mailbox) {
  return AtBoundary("VCAL_GetMailboxTimeZone", kTimeZoneSourceModule, __LINE__, std::optional<TimeZoneRecord>{},
                    [&]() -> std::optional<TimeZoneRecord> {
                      std::string name;
                      if (GetStoreOption(kOptionScopeMailbox, MailboxOptionObject(postoffice, mailbox), "TimeZone",
                                         name) != 1)
                        return std::nullopt;
                      return ZoneFromName(name);
                    });
}

std::optional<TimeZoneRecord> TimeZoneForEvent(std::string_view calendarText, std::string_view tzid,
                                               const std::string& postoffice, const std::string& mailbox) {
  return AtBoundary("TimeZoneForEvent", kTimeZoneSourceModule, __LINE__, std::optional<TimeZoneRecord>{},
                    [&]() -> std::optional<TimeZoneRecord> {
                      if (!tzid.empty()) {
                        if (auto block = VCalendar_ParseTimeZoneBlock(calendarText, tzid)) return block;
                        // Quoted TZIDs name their zone without the quotes.
                        std::string_view bare = tzid;
                        if (bare.size() >= 2 && bare.front() == '"' && bare.back() == '"')
                          bare = bare.substr(1, bare.size() - 2);
                        if (auto named = TimeZoneFromName(bare)) return named;
                      }
                      return VCAL_GetMailboxTimeZone(postoffice, mailbox);
                    });
}

}  // namespace tw

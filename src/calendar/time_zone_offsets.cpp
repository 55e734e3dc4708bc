#include "calendar/time_zone_offsets.h"

#include <bit>
#include <string>

#include "calendar/date_texts.h"
#include "calendar/named_time_zones.h"
#include "frame/event_report.h"
#include "platform/last_error.h"

namespace tw {
namespace {

// Seconds of a valid date and wall-clock time, counted as if it were UTC:
// change-overs and local times compare on one wall clock.
int64_t WallSeconds(const SystemTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * kDaySeconds + t.hour * 3600 + t.minute * 60 + t.second;
}

bool IsYearly(const TimeZoneSection& section) {
  return section.rule && (section.rule->type == kRecurYearlyByDate || section.rule->type == kRecurYearlyByPosition);
}

bool HasChangeOverMonth(const TimeZoneSection& section) {
  return section.rule ? section.rule->monthOfYear != 0 : section.hasChangeOver;
}

// Of a kind's blocks (earlier ones ascending, then the latest), the one
// with the latest DTSTART not after the date; the earliest when all start
// later.
const TimeZoneSection& SectionForDate(const TimeZoneSection& latest, const std::vector<TimeZoneSection>& earlier,
                                      int64_t wall) {
  if (earlier.empty() || SectionStartWallSeconds(latest) <= wall) return latest;
  for (auto it = earlier.rbegin(); it != earlier.rend(); ++it)
    if (SectionStartWallSeconds(*it) <= wall) return *it;
  return earlier.front();
}

// Blocks without yearly rules, one per change-over as some clients write
// them: the observance with the latest onset not after the date applies.
std::string OffsetByOnsets(const TimeZoneRecord& zone, int64_t wall) {
  const TimeZoneSection* latest = nullptr;
  const TimeZoneSection* earliest = nullptr;
  auto consider = [&](const TimeZoneSection& s) {
    if (!s.hasChangeOver || s.offsetTo.empty()) return;
    const int64_t key = SectionStartWallSeconds(s);
    if (key <= wall && (!latest || key >= SectionStartWallSeconds(*latest))) latest = &s;
    if (!earliest || key < SectionStartWallSeconds(*earliest)) earliest = &s;
  };
  consider(zone.standard);
  consider(zone.daylight);
  for (const auto& s : zone.earlierStandards) consider(s);
  for (const auto& s : zone.earlierDaylights) consider(s);
  if (latest) return latest->offsetTo;
  if (earliest) return earliest->offsetFrom.empty() ? earliest->offsetTo : earliest->offsetFrom;
  return zone.standard.offsetTo;
}

void PrintChangeOverError(const char* which) {
  Print(std::string("Error Occurred Converting ") + which + "ChangeOver::SystemTimeToFileTime: " +
        std::to_string(platform::kErrorInvalidParameter) + "\n");
}

std::string OffsetForRecord(const TimeZoneRecord& zone, const SystemTime& local, int64_t wall) {
  const TimeZoneSection& standard = SectionForDate(zone.standard, zone.earlierStandards, wall);
  const TimeZoneSection& daylight = SectionForDate(zone.daylight, zone.earlierDaylights, wall);
  if (daylight.offsetTo.empty()) return standard.offsetTo;
  if (!IsYearly(standard) && !IsYearly(daylight)) return OffsetByOnsets(zone, wall);
  if (!HasChangeOverMonth(daylight)) return standard.offsetTo;

  const auto standardChange = VCalendar_GetTZChangeOver(standard, local.year);
  if (!standardChange) {
    PrintChangeOverError("Standard");
    return standard.offsetTo;
  }
  const auto daylightChange = VCalendar_GetTZChangeOver(daylight, local.year);
  if (!daylightChange) {
    PrintChangeOverError("Daylight");
    return standard.offsetTo;
  }
  const int64_t standardAt = WallSeconds(*standardChange);
  const int64_t daylightAt = WallSeconds(*daylightChange);
  const bool daylightFirst = daylightAt <= standardAt;
  const TimeZoneSection& first = daylightFirst ? daylight : standard;
  const TimeZoneSection& second = daylightFirst ? standard : daylight;
  const int64_t firstAt = daylightFirst ? daylightAt : standardAt;
  const int64_t secondAt = daylightFirst ? standardAt : daylightAt;
  if (wall < firstAt) return first.offsetFrom;
  if (wall >= secondAt) return second.offsetTo;
  return second.offsetFrom;
}

std::optional<SystemTime> ChangeOver(const TimeZoneSection& section, int year) {
  if (year < 1601 || year > 9999) return std::nullopt;
  if (!section.rule) {
    if (!section.hasChangeOver || section.changeOver.year != year) return std::nullopt;
    return section.changeOver;
  }
  const RecurrencePattern& rule = *section.rule;
  if (rule.monthOfYear < 1 || rule.monthOfYear > 12) return std::nullopt;
  SystemTime result;
  result.year = static_cast<uint16_t>(year);
  result.month = static_cast<uint16_t>(rule.monthOfYear);
  result.hour = section.changeOver.hour;
  result.minute = section.changeOver.minute;
  result.second = section.changeOver.second;
  const int monthLength = DaysInMonth(year, rule.monthOfYear);
  if (rule.type == kRecurYearlyByDate) {
    if (rule.dayOfMonth < 1 || rule.dayOfMonth > monthLength) return std::nullopt;
    result.day = static_cast<uint16_t>(rule.dayOfMonth);
  } else if (rule.type == kRecurYearlyByPosition) {
    const uint32_t mask = rule.dayOfWeekMask & 0x7f;
    if (mask == 0) return std::nullopt;
    const int weekday = std::bit_width(mask) - 1;
    const int64_t firstDay = DaysFromCivil(year, rule.monthOfYear, 1);
    const int firstWeekday = WeekdayFromDays(firstDay);
    const int firstMatch = 1 + (weekday - firstWeekday + 7) % 7;
    const int count = (monthLength - firstMatch) / 7 + 1;
    const int instance = (rule.instance <= 0 || rule.instance > count) ? count : rule.instance;
    result.day = static_cast<uint16_t>(firstMatch + (instance - 1) * 7);
    result.dayOfWeek = static_cast<uint16_t>(weekday);
  } else {
    return std::nullopt;
  }
  if (result.hour > 23 || result.minute > 59 || result.second > 59) return std::nullopt;
  return result;
}

std::string ApplicableOffset(const TimeZoneRecord& zone, const SystemTime& local) {
  const auto wall = UnixSecondsFromSystemTime(local);
  if (!wall || local.year < 1601 || local.year > 9999) return {};
  if (zone.systemZone.empty()) return OffsetForRecord(zone, local, *wall);
  const auto yearZone = NamedTimeZoneForYear(zone.systemZone, local.year);
  return yearZone ? OffsetForRecord(*yearZone, local, *wall) : std::string{};
}

}  // namespace

int64_t SectionStartWallSeconds(const TimeZoneSection& section) {
  return section.hasChangeOver ? WallSeconds(section.changeOver) : INT64_MIN;
}

std::optional<SystemTime> VCalendar_GetTZChangeOver(const TimeZoneSection& section, int year) {
  return AtBoundary("VCalendar_GetTZChangeOver", kTimeZoneSourceModule, __LINE__, std::optional<SystemTime>{},
                    [&] { return ChangeOver(section, year); });
}

std::string VCalendar_GetApplicableOffsetString(const TimeZoneRecord& zone, const SystemTime& localTime) {
  return AtBoundary("VCalendar_GetApplicableOffsetString", kTimeZoneSourceModule, __LINE__, std::string{},
                    [&] { return ApplicableOffset(zone, localTime); });
}

std::string VCAL_ApplyTimeZoneSection(std::string_view dateTimeText, const TimeZoneRecord& zone) {
  return AtBoundary("VCAL_ApplyTimeZoneSection", kTimeZoneSourceModule, __LINE__, std::string(dateTimeText), [&] {
    const auto fields = ReadDateTimeText(dateTimeText);
    if (!fields || !fields->hasTime || fields->zone != DateTimeZone::kLocal) return std::string(dateTimeText);
    const std::optional<SystemTime> local = SystemTimeFromTextFields(*fields);
    if (!local) return std::string(dateTimeText);
    const std::string offset = VCalendar_GetApplicableOffsetString(zone, *local);
    std::string_view text = dateTimeText;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (offset.empty() || text.size() + offset.size() > kDateTimeTextLimit) return std::string(dateTimeText);
    std::string result;
    result.reserve(text.size() + offset.size());
    result.append(text).append(offset);
    return result;
  });
}

}  // namespace tw

// The iCalendar RRULE grammar: NAME=VALUE parts separated by ";".
#include <limits>

#include "calendar/date_texts.h"
#include "calendar/recurrence_pattern.h"
#include "calendar/recurrence_rule_parts.h"
#include "common/text.h"

namespace tw {
namespace {

constexpr int32_t kLargestNumber = std::numeric_limits<int32_t>::max();
// RFC 5545 bounds of the positions in BYDAY and BYSETPOS.
constexpr int32_t kFarthestWeekPosition = 53;
constexpr int32_t kFarthestSetPosition = 366;

// The first item of a comma list ("1,15" gives "1"): a pattern holds one.
std::string_view FirstItem(std::string_view list) { return TrimRuleBlanks(list.substr(0, list.find(','))); }

std::optional<int32_t> FrequencyType(std::string_view value) {
  if (EqualsNoCase(value, "DAILY")) return kRecurDaily;
  if (EqualsNoCase(value, "WEEKLY")) return kRecurWeekly;
  if (EqualsNoCase(value, "MONTHLY")) return kRecurMonthlyByDay;
  if (EqualsNoCase(value, "YEARLY")) return kRecurYearlyByDate;
  return std::nullopt;  // HOURLY, MINUTELY, SECONDLY and anything else
}

// "MO,WE,FR", "2MO", "-1SU", "+1TU,+3TU": the days go into the mask, the
// position of the first item is the instance. Items that do not read are
// skipped.
void ReadByDay(std::string_view value, RecurrencePattern& pattern) {
  bool first = true;
  while (!value.empty()) {
    const size_t comma = value.find(',');
    std::string_view item = TrimRuleBlanks(value.substr(0, comma));
    value = comma == std::string_view::npos ? std::string_view{} : value.substr(comma + 1);
    const std::optional<int32_t> position =
        ReadLeadingNumber(item, -kFarthestWeekPosition, kFarthestWeekPosition);
    const uint32_t day = DayMaskFromToken(TrimRuleBlanks(item));
    if (day == 0) continue;
    pattern.dayOfWeekMask |= day;
    if (first && position) pattern.instance = *position;
    first = false;
  }
}

// BYMONTHDAY: 1-31; -1 (the last day) is kept as 31, which the pattern
// reads as the month's last day. Other counts from the end have no form.
std::optional<int32_t> DayOfMonth(std::string_view value) {
  const std::optional<int32_t> day = ReadRuleNumber(FirstItem(value), -1, 31);
  if (!day || *day == 0) return std::nullopt;
  return *day == -1 ? 31 : *day;
}

struct RuleReading {
  std::optional<int32_t> type;  // none without FREQ or with one no pattern has
  RecurrencePattern pattern;
};

void ReadPart(std::string_view name, std::string_view value, std::string_view offsetText, RuleReading& r) {
  RecurrencePattern& p = r.pattern;
  if (EqualsNoCase(name, "FREQ")) {
    r.type = FrequencyType(value);
  } else if (EqualsNoCase(name, "INTERVAL")) {
    if (const auto n = ReadRuleNumber(value, 1, kLargestNumber)) p.interval = *n;
  } else if (EqualsNoCase(name, "COUNT")) {
    if (const auto n = ReadRuleNumber(value, 1, kLargestNumber)) p.count = *n;
  } else if (EqualsNoCase(name, "BYDAY")) {
    ReadByDay(value, p);
  } else if (EqualsNoCase(name, "BYSETPOS")) {
    const auto n = ReadRuleNumber(FirstItem(value), -kFarthestSetPosition, kFarthestSetPosition);
    if (n && *n != 0) p.instance = *n;
  } else if (EqualsNoCase(name, "UNTIL")) {
    if (const auto until = FileTimeFromDateTimeText(value, offsetText)) {
      p.hasEnd = 1;
      p.until = *until;
    }
  } else if (EqualsNoCase(name, "BYMONTHDAY")) {
    if (const auto day = DayOfMonth(value)) p.dayOfMonth = *day;
  } else if (EqualsNoCase(name, "BYMONTH")) {
    if (const auto month = ReadRuleNumber(FirstItem(value), 1, 12)) p.monthOfYear = *month;
  } else if (EqualsNoCase(name, "WKST")) {
    p.weekStart = DayMaskFromToken(value);
  }
}

}  // namespace

std::optional<RecurrencePattern> PatternFromICalendarRule(std::string_view rule, const SystemTime& start,
                                                          std::string_view offsetText) {
  // An offset that does not read is no offset: a local UNTIL stays as it is
  // rather than being lost.
  if (ReadOffsetText(offsetText).read == OffsetRead::kInvalid) offsetText = {};
  rule = TrimRuleBlanks(rule);
  if (StartsWithNoCase(rule, "RRULE:")) rule.remove_prefix(6);
  RuleReading reading;
  while (!rule.empty()) {
    const size_t semicolon = rule.find(';');
    const std::string_view part = TrimRuleBlanks(rule.substr(0, semicolon));
    rule = semicolon == std::string_view::npos ? std::string_view{} : rule.substr(semicolon + 1);
    const size_t equals = part.find('=');
    if (equals == std::string_view::npos) continue;
    ReadPart(TrimRuleBlanks(part.substr(0, equals)), TrimRuleBlanks(part.substr(equals + 1)), offsetText, reading);
  }
  if (!reading.type) return std::nullopt;
  RecurrencePattern& pattern = reading.pattern;
  pattern.type = *reading.type;
  if (pattern.count > 0) pattern.hasEnd = 1;
  AdjustParsedPattern(pattern, start);
  return pattern;
}

}  // namespace tw

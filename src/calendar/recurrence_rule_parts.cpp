#include "calendar/recurrence_rule_parts.h"

#include <limits>

#include "calendar/date_texts.h"
#include "common/text.h"

namespace tw {

bool IsRuleBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimRuleBlanks(std::string_view text) {
  while (!text.empty() && IsRuleBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsRuleBlank(text.back())) text.remove_suffix(1);
  return text;
}

uint32_t DayMaskFromToken(std::string_view token) {
  static constexpr std::string_view kTokens[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
  for (uint32_t day = 0; day < 7; ++day)
    if (EqualsNoCase(token, kTokens[day])) return 1u << day;
  return 0;
}

uint32_t DayMaskOfDate(const SystemTime& date) {
  if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > DaysInMonth(date.year, date.month))
    return 0;
  return 1u << WeekdayFromDays(DaysFromCivil(date.year, date.month, date.day));
}

std::optional<int32_t> ReadLeadingNumber(std::string_view& text, int32_t lowest, int32_t highest) {
  size_t at = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative || (!text.empty() && text[0] == '+')) ++at;
  const size_t firstDigit = at;
  int64_t value = 0;
  bool inRange = true;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    if (value <= std::numeric_limits<int32_t>::max()) value = value * 10 + (text[at] - '0');
    else inRange = false;
  }
  if (at == firstDigit) return std::nullopt;
  if (negative) value = -value;
  if (!inRange || value < lowest || value > highest) return std::nullopt;
  text.remove_prefix(at);
  return static_cast<int32_t>(value);
}

std::optional<int32_t> ReadRuleNumber(std::string_view text, int32_t lowest, int32_t highest) {
  const std::optional<int32_t> value = ReadLeadingNumber(text, lowest, highest);
  if (!value || !text.empty()) return std::nullopt;
  return value;
}

void AdjustParsedPattern(RecurrencePattern& pattern, const SystemTime& start) {
  // With a position, Monday to Friday is "the last weekday of the month",
  // not every weekday.
  if (pattern.dayOfWeekMask == kWeekdaysMask && pattern.instance == 0) {
    if (pattern.type == kRecurDaily) pattern.interval = 0;
    pattern.type = kRecurWeekly;
  }
  const bool validStart = DayMaskOfDate(start) != 0;
  if (pattern.type == kRecurMonthlyByDay) {
    if (pattern.instance != 0) pattern.type = kRecurMonthlyByPosition;
    else if (pattern.dayOfMonth == 0 && validStart) pattern.dayOfMonth = start.day;
  } else if (pattern.type == kRecurYearlyByDate) {
    if (pattern.instance != 0) {
      pattern.type = kRecurYearlyByPosition;
    } else if (validStart) {
      if (pattern.dayOfMonth == 0) pattern.dayOfMonth = start.day;
      if (pattern.monthOfYear == 0) pattern.monthOfYear = start.month;
    }
  } else if (pattern.type == kRecurWeekly && pattern.dayOfWeekMask == 0) {
    pattern.dayOfWeekMask = DayMaskOfDate(start);
  }
}

}  // namespace tw

// The vCalendar 1.0 rule grammar: a frequency code with its interval
// ("W2"), then blank-separated days, positions, numbers, a count ("#10", "#0"
// for ever) and an end date-time.
#include <limits>

#include "calendar/date_texts.h"
#include "calendar/recurrence_pattern.h"
#include "calendar/recurrence_rule_parts.h"
#include "common/text.h"

namespace tw {
namespace {

constexpr int32_t kLargestNumber = std::numeric_limits<int32_t>::max();
constexpr int32_t kLastPosition = 5;
// The end a counted series gets, far beyond any occurrence it reaches.
constexpr std::string_view kCountedSeriesEnd = "45010101T000000Z";

enum class Code { kDaily, kWeekly, kMonthlyByDay, kMonthlyByPosition, kYearlyByMonth, kYearlyByDay };

struct FrequencyCode {
  std::string_view letters;
  Code code;
  int32_t type;
};
// Two-letter codes first: "MD" must not be read as something with "D".
constexpr FrequencyCode kCodes[] = {
    {"MD", Code::kMonthlyByDay, kRecurMonthlyByDay},    {"MP", Code::kMonthlyByPosition, kRecurMonthlyByPosition},
    {"YM", Code::kYearlyByMonth, kRecurYearlyByDate},   {"YD", Code::kYearlyByDay, kRecurYearlyByPosition},
    {"D", Code::kDaily, kRecurDaily},                   {"W", Code::kWeekly, kRecurWeekly},
};

// The first token: code and interval ("MP12"); none when it is no code. A
// missing interval, 0 or one beyond 32 bits, is 1.
std::optional<Code> ReadFrequency(std::string_view token, RecurrencePattern& pattern) {
  for (const FrequencyCode& c : kCodes) {
    if (!StartsWithNoCase(token, c.letters)) continue;
    token.remove_prefix(c.letters.size());
    if (token.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    const std::optional<int32_t> interval = ReadRuleNumber(token, 1, kLargestNumber);
    if (interval) pattern.interval = *interval;
    pattern.type = c.type;
    return c.code;
  }
  return std::nullopt;
}

bool IsByPosition(Code code) { return code == Code::kMonthlyByPosition || code == Code::kYearlyByDay; }

// "1+" ... "5+" count from the start of the month, "1-" is the last.
void ReadPosition(std::string_view token, Code code, RecurrencePattern& pattern) {
  if (!IsByPosition(code) || token.size() < 2) return;
  const char direction = token.back();
  token.remove_suffix(1);
  const std::optional<int32_t> n = ReadRuleNumber(token, 1, kLastPosition);
  if (!n || token[0] == '-' || token[0] == '+') return;
  if (direction == '+') pattern.instance = *n;
  else if (direction == '-' && *n == 1) pattern.instance = -1;
}

// A plain number: the day of month (MD), the month (YM) or the day (YD);
// the first one counts, as a pattern holds one.
void ReadNumberToken(std::string_view token, Code code, RecurrencePattern& pattern) {
  if ((code == Code::kMonthlyByDay || code == Code::kYearlyByDay) && pattern.dayOfMonth == 0) {
    if (const auto day = ReadRuleNumber(token, 1, 31)) pattern.dayOfMonth = *day;
  } else if (code == Code::kYearlyByMonth && pattern.monthOfYear == 0) {
    if (const auto month = ReadRuleNumber(token, 1, 12)) pattern.monthOfYear = *month;
  }
}

void ReadToken(std::string_view token, Code code, std::string_view offsetText, RecurrencePattern& pattern,
               bool& hasEndDate) {
  if (token.front() == '#') {
    const std::optional<int32_t> count = ReadRuleNumber(token.substr(1), 0, kLargestNumber);
    if (!count) return;
    pattern.count = *count;
    pattern.hasEnd = *count > 0 ? 1 : 0;
    if (*count == 0) {
      hasEndDate = false;
      pattern.until = 0;
    }
  } else if (const uint32_t day = DayMaskFromToken(token)) {
    pattern.dayOfWeekMask |= day;
  } else if (token.find_first_of("Tt") != std::string_view::npos) {
    if (const auto until = FileTimeFromDateTimeText(token, offsetText)) {
      pattern.until = *until;
      pattern.hasEnd = 1;
      hasEndDate = true;
    }
  } else if (token.back() == '+' || token.back() == '-') {
    ReadPosition(token, code, pattern);
  } else {
    ReadNumberToken(token, code, pattern);  // "LD" and the like read as nothing
  }
}

}  // namespace

std::optional<RecurrencePattern> PatternFromVCalendarRule(std::string_view rule, const SystemTime& start,
                                                          std::string_view offsetText) {
  if (ReadOffsetText(offsetText).read == OffsetRead::kInvalid) offsetText = {};
  RecurrencePattern pattern;
  std::optional<Code> code;
  bool hasEndDate = false;
  size_t at = 0;
  while (at < rule.size()) {
    while (at < rule.size() && IsRuleBlank(rule[at])) ++at;
    size_t next = at;
    while (next < rule.size() && !IsRuleBlank(rule[next])) ++next;
    if (next == at) break;
    const std::string_view token = rule.substr(at, next - at);
    at = next;
    if (!code) {
      code = ReadFrequency(token, pattern);
      if (!code) return std::nullopt;
    } else {
      ReadToken(token, *code, offsetText, pattern, hasEndDate);
    }
  }
  if (!code) return std::nullopt;
  if (pattern.count > 0 && !hasEndDate) pattern.until = FileTimeFromDateTimeText(kCountedSeriesEnd).value_or(0);
  // Twelve months by position is how old clients write a yearly date.
  if (*code == Code::kMonthlyByPosition && pattern.interval == 12 && DayMaskOfDate(start) != 0) {
    pattern.type = kRecurYearlyByDate;
    pattern.interval = 1;
    pattern.instance = 0;
    pattern.dayOfWeekMask = 0;
    pattern.dayOfMonth = start.day;
    pattern.monthOfYear = start.month;
  }
  AdjustParsedPattern(pattern, start);
  return pattern;
}

}  // namespace tw

#include "platform/posix_zone_rule.h"

#include <date/date.h>

namespace tw::platform {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }

  // "EST" or "<+0530>".
  bool Name() {
    if (Take('<')) {
      const size_t close = text_.find('>', pos_);
      if (close == std::string_view::npos || close == pos_) return false;
      pos_ = close + 1;
      return true;
    }
    const size_t start = pos_;
    while (!AtEnd() && ((Peek() >= 'A' && Peek() <= 'Z') || (Peek() >= 'a' && Peek() <= 'z'))) ++pos_;
    return pos_ - start >= 3;
  }

  // "[+-]h[h[h]][:mm[:ss]]" in seconds; hours up to 167 (times past a day).
  std::optional<int> Duration() {
    int sign = 1;
    if (Take('-'))
      sign = -1;
    else
      Take('+');
    const auto hours = Number(1, 3);
    if (!hours || *hours > 167) return std::nullopt;
    int seconds = *hours * 3600;
    for (int unit : {60, 1}) {
      if (!Take(':')) break;
      const auto part = Number(2, 2);
      if (!part || *part > 59) return std::nullopt;
      seconds += *part * unit;
    }
    return sign * seconds;
  }

  std::optional<int> Number(size_t minDigits, size_t maxDigits) {
    size_t digits = 0;
    int value = 0;
    while (digits < maxDigits && Peek() >= '0' && Peek() <= '9') {
      value = value * 10 + (Peek() - '0');
      ++pos_;
      ++digits;
    }
    if (digits < minDigits) return std::nullopt;
    return value;
  }

  // "Mm.w.d[/time]"; none for the other forms and for bad fields.
  std::optional<PosixRuleDate> RuleDate() {
    if (!Take('M')) return std::nullopt;
    PosixRuleDate date;
    const auto month = Number(1, 2);
    if (!month || *month < 1 || *month > 12 || !Take('.')) return std::nullopt;
    const auto week = Number(1, 1);
    if (!week || *week < 1 || *week > 5 || !Take('.')) return std::nullopt;
    const auto weekday = Number(1, 1);
    if (!weekday || *weekday > 6) return std::nullopt;
    date.month = *month;
    date.week = *week;
    date.weekday = *weekday;
    if (Take('/')) {
      const auto time = Duration();
      if (!time) return std::nullopt;
      date.seconds = *time;
    }
    return date;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<PosixZoneRule> ReadPosixZoneRule(std::string_view text) {
  Reader reader(text);
  PosixZoneRule rule;
  if (!reader.Name()) return std::nullopt;
  const auto standard = reader.Duration();
  if (!standard) return std::nullopt;
  // POSIX offsets count west of Greenwich.
  rule.standardMinutes = -*standard / 60;
  if (reader.AtEnd()) return rule;
  if (!reader.Name()) return std::nullopt;
  rule.daylightMinutes = rule.standardMinutes + 60;
  if (!reader.AtEnd() && reader.Peek() != ',') {
    const auto daylight = reader.Duration();
    if (!daylight) return std::nullopt;
    rule.daylightMinutes = -*daylight / 60;
  }
  if (!reader.Take(',')) return rule;
  const auto start = reader.RuleDate();
  if (!start || !reader.Take(',')) return rule;
  const auto end = reader.RuleDate();
  if (!end || !reader.AtEnd()) return rule;
  rule.hasDaylight = rule.daylightMinutes != rule.standardMinutes;
  rule.toDaylight = *start;
  rule.toStandard = *end;
  return rule;
}

int PosixRuleDay(const PosixRuleDate& rule, int year) {
  const date::year_month ym{date::year{year}, date::month{static_cast<unsigned>(rule.month)}};
  const date::sys_days first{ym / 1};
  const int firstWeekday = static_cast<int>(date::weekday{first}.c_encoding());
  int day = 1 + (rule.weekday - firstWeekday + 7) % 7 + (rule.week - 1) * 7;
  const int last = static_cast<int>(static_cast<unsigned>((ym / date::last).day()));
  while (day > last) day -= 7;
  return day;
}

}  // namespace tw::platform

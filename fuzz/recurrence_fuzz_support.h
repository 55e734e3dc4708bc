// What every recurrence pattern and every set of recurrence properties must
// satisfy, whatever the rule's bytes. Inputs are "rule\0dtstart\0offset";
// missing pieces take a start that the day shift moves forward.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "calendar/recurrence_pattern.h"
#include "calendar/recurrence_properties.h"

namespace tw::fuzz {

struct RuleInput {
  std::string_view rule, dtstart = "20140303T233000Z", offset = "+0530";
};

inline RuleInput SplitRuleInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  RuleInput input;
  size_t nul = rest.find('\0');
  input.rule = rest.substr(0, nul);
  if (nul == std::string_view::npos) return input;
  rest.remove_prefix(nul + 1);
  nul = rest.find('\0');
  input.dtstart = rest.substr(0, nul);
  if (nul != std::string_view::npos) input.offset = rest.substr(nul + 1);
  return input;
}

inline void CheckPattern(const RecurrencePattern& p) {
  const bool knownType = p.type == kRecurDaily || p.type == kRecurWeekly || p.type == kRecurMonthlyByDay ||
                         p.type == kRecurMonthlyByPosition || p.type == kRecurYearlyByDate ||
                         p.type == kRecurYearlyByPosition;
  if (!knownType || p.interval < 0 || p.count < 0 || (p.hasEnd != 0 && p.hasEnd != 1)) std::abort();
  if (p.dayOfWeekMask > 127 || p.dayOfMonth < 0 || p.dayOfMonth > 31 || p.monthOfYear < 0 || p.monthOfYear > 12)
    std::abort();
  if (p.instance < -366 || p.instance > 366 || p.weekStart > 64) std::abort();
  if (p.count > 0 && !p.hasEnd) std::abort();
  // Monday to Friday without a position is always weekly.
  if (p.dayOfWeekMask == kWeekdaysMask && p.instance == 0 && p.type != kRecurWeekly) std::abort();
}

inline void CheckProperties(const RuleInput& input, bool allDay) {
  const auto p = RecurrencePropertiesFromEvent(input.dtstart, input.rule, input.offset, allDay);
  if (!p) return;
  if (p->isRecurring != kPropertyTrue || (p->noEndDate != kPropertyTrue && p->noEndDate != kPropertyFalse))
    std::abort();
  if (p->recurrenceInstance && *p->recurrenceInstance == 0) std::abort();
  if (p->dayOfWeekMask > 127 || p->dayOfMonth < 0 || p->dayOfMonth > 31 || p->monthOfYear < 0 ||
      p->monthOfYear > 12)
    std::abort();
}

}  // namespace tw::fuzz

// iCalendar RRULE values of any bytes, alone and as an event's recurrence
// properties: a pattern within its fields' ranges, or none.
#include "calendar/recurrence_pattern.h"
#include "recurrence_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const tw::fuzz::RuleInput input = tw::fuzz::SplitRuleInput(data, size);
  const tw::SystemTime start{2024, 2, 4, 29, 23, 30, 0, 0};
  if (const auto pattern = tw::PatternFromICalendarRule(input.rule, start, input.offset))
    tw::fuzz::CheckPattern(*pattern);
  tw::fuzz::CheckProperties(input, size % 2 == 0);
  return 0;
}

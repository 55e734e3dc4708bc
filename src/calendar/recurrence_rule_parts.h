// The pieces both rule grammars share: day tokens, bounded numbers, and the
// adjustments every parsed pattern goes through, so that an iCalendar rule
// and a vCalendar 1.0 rule for the same series give the same pattern.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "calendar/recurrence_pattern.h"
#include "calendar/system_time.h"

namespace tw {

bool IsRuleBlank(char c);
// The text without blanks, CR and LF around it.
std::string_view TrimRuleBlanks(std::string_view text);

// The mask bit of a day token ("SU" 1 ... "SA" 64, without regard to case);
// 0 when the text is no day token.
uint32_t DayMaskFromToken(std::string_view token);

// The mask bit of the weekday of a date; 0 when the date is no date. The
// weekday comes from the date itself, not from the caller's dayOfWeek.
uint32_t DayMaskOfDate(const SystemTime& date);

// Reads an optionally signed decimal number at the front of `text`,
// consuming it. None (and nothing consumed) when there is no digit or the
// number lies outside [lowest, highest]; a run of digits is read whole, so
// "99999999999" is out of range rather than wrapped.
std::optional<int32_t> ReadLeadingNumber(std::string_view& text, int32_t lowest, int32_t highest);
// The whole text as a number in [lowest, highest]; none for anything else.
std::optional<int32_t> ReadRuleNumber(std::string_view text, int32_t lowest, int32_t highest);

// The adjustments after reading a rule, in this order: Monday-to-Friday
// without a position is weekly (from daily with interval 0, which clients
// read as "every weekday"); a monthly or yearly rule with a position is the
// by-position type; one by date takes the missing day and month from the
// start; a weekly rule without days takes the start's weekday.
void AdjustParsedPattern(RecurrencePattern& pattern, const SystemTime& start);

}  // namespace tw

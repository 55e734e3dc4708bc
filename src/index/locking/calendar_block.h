// Block files of the legacy calendar files: "<block-file base>\<name>.BLK"
// guards "<name>.CAL". Always marker blocks, with their owner's record
// (block_owner.h).
#pragma once
#include <cstdint>
#include <string>

namespace tw {

// Empty for a name that would lead outside the block-file base.
std::string CalendarBlockPath(const std::string& calendarName);

// 0 when the block had to be broken and could not be (or its owner still
// runs), or the name is refused; else 1.
uint32_t CreateCalendarBlock(const std::string& calendarName);
// 1 when deleted, 0 otherwise.
uint32_t DeleteCalendarBlock(const std::string& calendarName);
// Once any call in the process has found a block, every later call is true.
bool CalendarBlockExists(const std::string& calendarName);
// Waits while the block exists; deletes it at once when its owner is gone,
// and breaks it once "Read Wait Timeout" seconds have passed, unless its
// owner still runs (then it stops waiting).
void WaitWhileCalendarBlocked(const std::string& calendarName);

// Forgets that a calendar block was ever found.
void ResetCalendarBlockSeen();

}  // namespace tw

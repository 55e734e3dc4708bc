// How an event-log entry becomes one syslog line.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/event_log.h"

namespace tw::platform {

// Longest message handed to syslog; longer ones are cut and end in "...".
inline constexpr size_t kMaxEventMessageBytes = 32 * 1024;

// "<text1>: <text2>" (just text2 when text1 is empty), with line ends at the
// end of text2 removed. Syslog entries are single lines, so every other
// control byte but tab is written as "#" and three octal digits ("#012" for
// a line feed), the way syslog daemons escape them.
std::string FormatEventMessage(const EventEntry& entry);

// The syslog priority of an event type: LOG_ERR for 1, LOG_WARNING for 2,
// LOG_INFO for 4, LOG_NOTICE for any other.
int SyslogPriority(uint16_t type);

}  // namespace tw::platform

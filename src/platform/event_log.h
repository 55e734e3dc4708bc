// The event log (syslog, ident "Tarnwick", facility mail) and the debugger
// output. Tests install a sink that captures entries in memory.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace tw::platform {

inline constexpr uint16_t kEventError = 1;
inline constexpr uint16_t kEventWarning = 2;
inline constexpr uint16_t kEventInformation = 4;

struct EventEntry {
  uint16_t type;
  uint32_t identifier;
  std::string source;
  std::string text1;
  std::string text2;
};

using EventSink = std::function<void(const EventEntry&)>;

// Writes one entry holding both texts. Never fails its caller.
void WriteEvent(const EventEntry& entry);
// Installs a capturing sink; an empty function restores syslog.
void SetEventSink(EventSink sink);

// Debugger output: silent unless TW_DEBUG_OUTPUT is set (to "stderr" or a
// file path). Tests may install a sink.
void DebugOutput(const std::string& text);
void SetDebugSink(std::function<void(const std::string&)> sink);

}  // namespace tw::platform

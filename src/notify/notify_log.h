// The log hook of change notification. Its texts go to the library's log
// hook; tests may watch them through a sink of their own.
#pragma once
#include <string>

namespace tw {

using NotifyLogSink = void (*)(const std::string& text);

void NotifyLog(const std::string& text);
// nullptr restores the library's log hook; returns the previous sink.
NotifyLogSink SetNotifyLogSink(NotifyLogSink sink);

}  // namespace tw

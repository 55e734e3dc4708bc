#include "notify/notify_log.h"

#include <atomic>

#include "frame/event_report.h"

namespace tw {
namespace {
std::atomic<NotifyLogSink> g_sink{nullptr};
}

void NotifyLog(const std::string& text) {
  if (NotifyLogSink sink = g_sink.load()) {
    sink(text);
    return;
  }
  Log(text);
}

NotifyLogSink SetNotifyLogSink(NotifyLogSink sink) { return g_sink.exchange(sink); }

}  // namespace tw

// The event log is syslog (ident "Tarnwick", facility mail); the debugger
// output is standard error or a file, and only when TW_DEBUG_OUTPUT asks for
// it. Neither ever throws or changes errno, so they are safe to call between
// a failing system call and the reading of its error.
#include "platform/event_log.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/event_log_format.h"

namespace tw::platform {
namespace {

// Never destroyed, so that code running at exit can still write.
struct EventLogState {
  std::recursive_mutex mutex;  // recursive: a sink may write an entry itself
  EventSink sink;
};

EventLogState& EventState() {
  static EventLogState* state = new EventLogState;
  return *state;
}

struct DebugOutputState {
  std::recursive_mutex mutex;
  std::function<void(const std::string&)> sink;
};

DebugOutputState& DebugState() {
  static DebugOutputState* state = new DebugOutputState;
  return *state;
}

class ErrnoKeeper {
 public:
  ErrnoKeeper() : saved_(errno) {}
  ~ErrnoKeeper() { errno = saved_; }
  ErrnoKeeper(const ErrnoKeeper&) = delete;
  ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

 private:
  int saved_;
};

void OpenSyslogOnce() {
  static std::once_flag opened;
  std::call_once(opened, [] { ::openlog("Tarnwick", LOG_PID | LOG_NDELAY, LOG_MAIL); });
}

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7F) {
      out += '#';
      out += static_cast<char>('0' + ((u >> 6) & 7));
      out += static_cast<char>('0' + ((u >> 3) & 7));
      out += static_cast<char>('0' + (u & 7));
    } else {
      out += c;
    }
  }
}

}  // namespace

std::string FormatEventMessage(const EventEntry& entry) {
  std::string_view text2 = entry.text2;
  while (!text2.empty() && (text2.back() == '\n' || text2.back() == '\r')) text2.remove_suffix(1);
  std::string message;
  if (!entry.text1.empty()) {
    AppendEscaped(message, entry.text1);
    message += ": ";
  }
  AppendEscaped(message, text2);
  if (message.size() > kMaxEventMessageBytes) {
    message.resize(kMaxEventMessageBytes - 3);
    message += "...";
  }
  return message;
}

int SyslogPriority(uint16_t type) {
  switch (type) {
    case kEventError:
      return LOG_ERR;
    case kEventWarning:
      return LOG_WARNING;
    case kEventInformation:
      return LOG_INFO;
    default:
      return LOG_NOTICE;
  }
}

void WriteEvent(const EventEntry& entry) {
  ErrnoKeeper keepErrno;
  try {
    EventLogState& state = EventState();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    if (state.sink) {
      // A copy: the sink may replace itself while it runs.
      EventSink sink = state.sink;
      sink(entry);
      return;
    }
  } catch (...) {
    return;
  }
  try {
    std::string message = FormatEventMessage(entry);
    OpenSyslogOnce();
    ::syslog(SyslogPriority(entry.type), "%s", message.c_str());
  } catch (...) {
  }
}

void SetEventSink(EventSink sink) {
  try {
    EventLogState& state = EventState();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    state.sink = std::move(sink);
  } catch (...) {
  }
}

void DebugOutput(const std::string& text) {
  ErrnoKeeper keepErrno;
  try {
    DebugOutputState& state = DebugState();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    if (state.sink) {
      auto sink = state.sink;
      sink(text);
      return;
    }
    const char* target = std::getenv("TW_DEBUG_OUTPUT");
    if (!target || !*target) return;
    if (std::strcmp(target, "stderr") == 0) {
      WriteAll(STDERR_FILENO, text);
      return;
    }
    int fd = ::open(target, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    WriteAll(fd, text);
    ::close(fd);
  } catch (...) {
  }
}

void SetDebugSink(std::function<void(const std::string&)> sink) {
  try {
    DebugOutputState& state = DebugState();
    std::lock_guard<std::recursive_mutex> lock(state.mutex);
    state.sink = std::move(sink);
  } catch (...) {
  }
}

}  // namespace tw::platform

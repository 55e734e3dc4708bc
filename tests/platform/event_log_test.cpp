#include "platform/event_log.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_log_format.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

using test::CapturedEvents;
using test::PathExists;
using test::ReadFile;
using test::ScratchDir;

EventEntry Entry(uint16_t type, std::string text1, std::string text2) {
  return EventEntry{type, 0x40000001, "Tarnwick", std::move(text1), std::move(text2)};
}

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old, had_ = true;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnvironment() {
    if (had_)
      setenv(name_.c_str(), saved_.c_str(), 1);
    else
      unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::string saved_;
  bool had_ = false;
};

// --- The event log -------------------------------------------------------------

TEST(PlatformEventLogSink, CapturesEveryFieldOfEachEntry) {
  CapturedEvents events;
  WriteEvent(EventEntry{kEventInformation, 0x40000001, "Tarnwick", "Tarnwick Store Provider error: 0", "hello\n"});
  WriteEvent(EventEntry{kEventError, 7, "Other", "", ""});
  auto entries = events.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].type, kEventInformation);
  EXPECT_EQ(entries[0].identifier, 0x40000001u);
  EXPECT_EQ(entries[0].source, "Tarnwick");
  EXPECT_EQ(entries[0].text1, "Tarnwick Store Provider error: 0");
  EXPECT_EQ(entries[0].text2, "hello\n");  // the sink gets the texts untouched
  EXPECT_EQ(entries[1].type, kEventError);
  EXPECT_EQ(entries[1].identifier, 7u);
  EXPECT_EQ(entries[1].source, "Other");
}

TEST(PlatformEventLogSink, AnEmptySinkRestoresSyslog) {
  std::vector<std::string> seen;
  SetEventSink([&](const EventEntry& e) { seen.push_back(e.text2); });
  WriteEvent(Entry(kEventWarning, "t", "captured"));
  SetEventSink({});
  WriteEvent(Entry(kEventWarning, "t", "to syslog"));
  EXPECT_EQ(seen, std::vector<std::string>{"captured"});
}

TEST(PlatformEventLogSink, ASinkMayWriteAndReplaceItselfWhileRunning) {
  std::vector<std::string> seen;
  SetEventSink([&](const EventEntry& e) {
    seen.push_back(e.text2);
    if (e.text2 == "outer") WriteEvent(Entry(kEventInformation, "t", "inner"));
    if (e.text2 == "replace") {
      SetEventSink([&](const EventEntry& later) { seen.push_back("new:" + later.text2); });
      seen.push_back("still running");
    }
  });
  WriteEvent(Entry(kEventInformation, "t", "outer"));
  WriteEvent(Entry(kEventInformation, "t", "replace"));
  WriteEvent(Entry(kEventInformation, "t", "after"));
  SetEventSink({});
  EXPECT_EQ(seen, (std::vector<std::string>{"outer", "inner", "replace", "still running", "new:after"}));
}

TEST(PlatformEventLogSink, AThrowingSinkDoesNotReachTheCaller) {
  SetEventSink([](const EventEntry&) { throw std::runtime_error("sink failed"); });
  EXPECT_NO_THROW(WriteEvent(Entry(kEventError, "t", "x")));
  SetEventSink({});
}

TEST(PlatformEventLogSink, ManyThreadsWriteWithoutLosingEntries) {
  CapturedEvents events;
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < 250; ++i) WriteEvent(Entry(kEventInformation, "thread", std::to_string(t)));
    });
  for (auto& w : writers) w.join();
  auto entries = events.entries();
  ASSERT_EQ(entries.size(), 1000u);
  int perThread[4] = {};
  for (const auto& e : entries) ++perThread[std::stoi(e.text2)];
  for (int count : perThread) EXPECT_EQ(count, 250);
}

TEST(PlatformEventLogSyslog, WritesEveryTypeWithoutFailing) {
  SetEventSink({});
  errno = EBADF;
  for (uint16_t type : {kEventError, kEventWarning, kEventInformation, uint16_t{3}, uint16_t{0}})
    EXPECT_NO_THROW(WriteEvent(Entry(type, "Tarnwick Store Provider error: 0", "syslog path test\n")));
  // Format characters in the texts are data, never a format.
  EXPECT_NO_THROW(WriteEvent(Entry(kEventWarning, "%s%n%s", "%n%n%x %s")));
  EXPECT_NO_THROW(WriteEvent(Entry(kEventWarning, "", std::string(100000, 'x'))));
  EXPECT_EQ(errno, EBADF);  // callers may still read the error of their last call
}

TEST(PlatformEventLogFormat, JoinsBothTextsAndDropsTheTrailingLineEnd) {
  EXPECT_EQ(FormatEventMessage(Entry(kEventInformation, "Tarnwick Store Provider error: 2", "message\n")),
            "Tarnwick Store Provider error: 2: message");
  EXPECT_EQ(FormatEventMessage(Entry(kEventInformation, "a", "b\r\n\r\n")), "a: b");
  EXPECT_EQ(FormatEventMessage(Entry(kEventInformation, "", "only the second")), "only the second");
  EXPECT_EQ(FormatEventMessage(Entry(kEventInformation, "first", "")), "first: ");
}

TEST(PlatformEventLogFormat, EscapesControlBytesButKeepsTabsAndEightBitText) {
  EXPECT_EQ(FormatEventMessage(Entry(kEventInformation, "t", "line one\nline two\n")), "t: line one#012line two");
  EXPECT_EQ(FormatEventMessage(Entry(kEventInformation, "t\r", std::string("a\tb\x01\x7f\0c", 7))),
            "t#015: a\tb#001#177#000c");
  EXPECT_EQ(FormatEventMessage(Entry(kEventInformation, "t", "caf\xE9 \xE2\x82\xAC")), "t: caf\xE9 \xE2\x82\xAC");
}

TEST(PlatformEventLogFormat, BoundsTheMessageLength) {
  std::string message = FormatEventMessage(Entry(kEventInformation, "t", std::string(100000, 'x')));
  EXPECT_EQ(message.size(), kMaxEventMessageBytes);
  EXPECT_EQ(message.substr(message.size() - 3), "...");
}

TEST(PlatformEventLogFormat, MapsEventTypesToSyslogPriorities) {
  EXPECT_EQ(SyslogPriority(kEventError), LOG_ERR);
  EXPECT_EQ(SyslogPriority(kEventWarning), LOG_WARNING);
  EXPECT_EQ(SyslogPriority(kEventInformation), LOG_INFO);
  EXPECT_EQ(SyslogPriority(0), LOG_NOTICE);
  EXPECT_EQ(SyslogPriority(8), LOG_NOTICE);
  EXPECT_EQ(SyslogPriority(16), LOG_NOTICE);
}

// --- The debugger output -----------------------------------------------------------

TEST(PlatformEventLogDebugOutput, SilentWithoutTheVariable) {
  ScopedEnvironment unset("TW_DEBUG_OUTPUT", nullptr);
  testing::internal::CaptureStderr();
  DebugOutput("nobody hears this\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ScopedEnvironment empty("TW_DEBUG_OUTPUT", "");
  testing::internal::CaptureStderr();
  DebugOutput("nor this\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(PlatformEventLogDebugOutput, WritesToStandardErrorWhenAskedTo) {
  ScopedEnvironment to("TW_DEBUG_OUTPUT", "stderr");
  testing::internal::CaptureStderr();
  DebugOutput("TLSStoreIndex_Init::Unable to allocate STOREINDEXTYPE structure\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "TLSStoreIndex_Init::Unable to allocate STOREINDEXTYPE structure\n");
}

TEST(PlatformEventLogDebugOutput, AppendsToTheNamedFile) {
  ScratchDir dir;
  std::string path = dir / "debug.log";
  ScopedEnvironment to("TW_DEBUG_OUTPUT", path.c_str());
  DebugOutput("first\n");
  DebugOutput("second\n");
  EXPECT_EQ(ReadFile(path), "first\nsecond\n");

  // A file that cannot be opened is not an error for the caller.
  std::string unreachable = dir / "no/such/dir/debug.log";
  ScopedEnvironment bad("TW_DEBUG_OUTPUT", unreachable.c_str());
  EXPECT_NO_THROW(DebugOutput("lost\n"));
  EXPECT_FALSE(PathExists(unreachable));
}

TEST(PlatformEventLogDebugOutput, AnInstalledSinkTakesPrecedence) {
  ScratchDir dir;
  std::string path = dir / "debug.log";
  ScopedEnvironment to("TW_DEBUG_OUTPUT", path.c_str());
  std::vector<std::string> seen;
  SetDebugSink([&](const std::string& text) { seen.push_back(text); });
  DebugOutput("to the sink\n");
  SetDebugSink({});
  DebugOutput("to the file\n");
  EXPECT_EQ(seen, std::vector<std::string>{"to the sink\n"});
  EXPECT_EQ(ReadFile(path), "to the file\n");
}

TEST(PlatformEventLogDebugOutput, SinkIsUsedEvenWhenTheVariableIsUnset) {
  ScopedEnvironment unset("TW_DEBUG_OUTPUT", nullptr);
  std::vector<std::string> seen;
  SetDebugSink([&](const std::string& text) { seen.push_back(text); });
  DebugOutput("captured\n");
  SetDebugSink({});
  EXPECT_EQ(seen, std::vector<std::string>{"captured\n"});
}

}  // namespace
}  // namespace tw::platform

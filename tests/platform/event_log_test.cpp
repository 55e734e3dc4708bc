#include "platform/event_log.h"

#include <gtest/gtest.h>
#include <syslog.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/event_log_format.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

EventEntry Entry(uint16_t type, std::string one, std::string two) { return {type, 0x40000001, "Tarnwick", one, two}; }

TEST(PlatformEventLogSink, GetsEntriesUntouchedAndMayWriteReplaceOrThrow) {
  std::vector<std::string> seen;
  const std::string running = "still running";  // a copy in the sink: it must outlive the sink's replacement
  SetEventSink([&seen, running](const EventEntry& e) {
    seen.push_back(std::to_string(e.type) + "/" + std::to_string(e.identifier) + "/" + e.source + "/" + e.text1 +
                   "/" + e.text2);
    if (e.identifier != 7) return;
    WriteEvent(Entry(kEventInformation, "", "inner"));
    SetEventSink([&seen](const EventEntry& later) { seen.push_back(later.text2), errno = EINTR, throw later; });
    seen.push_back(running);
  });
  WriteEvent(EventEntry{kEventError, 7, "Other", "Tarnwick Store Provider error: 0", "hello\n"});
  errno = EBADF;  // callers may still read the error of their last call
  WriteEvent(Entry(kEventWarning, "", "thrown away"));  // the throw never reaches the caller
  SetEventSink({});  // back to syslog, where format characters are data
  for (uint16_t type : {kEventError, kEventWarning, kEventInformation, uint16_t{0}})
    WriteEvent(Entry(type, "%s%n%s", "%n%x syslog path test " + std::string(100000, 'x')));
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(seen, (std::vector<std::string>{"1/7/Other/Tarnwick Store Provider error: 0/hello\n",
                                            "4/1073741825/Tarnwick//inner", "still running", "thrown away"}));
}

TEST(PlatformEventLogFormat, OneLineFromBothTextsWithControlBytesEscaped) {
  struct Case { std::string text1, text2, expected; };
  for (const Case& c : {Case{"Store error: 2", "message\n", "Store error: 2: message"}, Case{"a", "b\r\n\r\n", "a: b"},
                        Case{"", "only the second", "only the second"}, Case{"first", "", "first: "},
                        Case{"t", "line one\nline two\n", "t: line one#012line two"},
                        Case{"t\r", std::string("a\tb\x01\x7f\0c\xE9\xE2\x82\xAC", 11),  // tabs and 8-bit text stay
                             "t#015: a\tb#001#177#000c\xE9\xE2\x82\xAC"},
                        Case{"", std::string(100000, 'x'), std::string(kMaxEventMessageBytes - 3, 'x') + "..."}})
    EXPECT_EQ(FormatEventMessage(Entry(kEventInformation, c.text1, c.text2)), c.expected);
  EXPECT_EQ((std::vector{SyslogPriority(1), SyslogPriority(2), SyslogPriority(4), SyslogPriority(8)}),
            (std::vector{LOG_ERR, LOG_WARNING, LOG_INFO, LOG_NOTICE}));
}

TEST(PlatformEventLogDebugOutput, SilentUnlessTheVariableOrASinkAsks) {
  test::ScratchDir dir;
  const std::string file = dir / "debug.log", unreachable = dir / "no/such/dir/debug.log";
  const std::string saved = std::getenv("TW_DEBUG_OUTPUT") ? std::getenv("TW_DEBUG_OUTPUT") : "";
  int sunk = 0;
  for (auto [to, heard] : {std::pair<const char*, const char*>{nullptr, ""}, {"", ""}, {"stderr", "one\ntwo\n"},
                           {file.c_str(), ""}, {unreachable.c_str(), ""}}) {  // unreachable: not an error either
    (void)(to ? setenv("TW_DEBUG_OUTPUT", to, 1) : unsetenv("TW_DEBUG_OUTPUT"));
    testing::internal::CaptureStderr();
    DebugOutput("one\n");
    SetDebugSink([&](const std::string& text) { sunk += text == "sunk\n"; });  // takes precedence
    DebugOutput("sunk\n");
    SetDebugSink({});
    DebugOutput("two\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), heard) << (to ? to : "unset");
  }
  setenv("TW_DEBUG_OUTPUT", saved.c_str(), 1);  // empty: silent, as when unset
  EXPECT_EQ(sunk, 5);
  EXPECT_EQ(test::ReadFile(file), "one\ntwo\n");  // appended
  EXPECT_FALSE(test::PathExists(unreachable));
}

}  // namespace
}  // namespace tw::platform

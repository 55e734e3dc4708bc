#include "frame/event_report.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "common/exception.h"
#include "platform/last_error.h"
#include "support/test_support.h"

namespace tw {
namespace {

std::exception_ptr Raise(auto error) {
  try {
    throw error;
  } catch (...) {
    return std::current_exception();
  }
}

TEST(FrameEventReport, StoreEventCarriesTheLastErrorAndTheMessage) {
  test::CapturedEvents events;
  platform::SetLastError(32);
  ReportStoreEvent(kEventTypeInformation, "ignored", nullptr, kStoreEventId, "Something happened\n");
  EXPECT_EQ(platform::GetLastError(), 32u) << "reporting must not disturb the caller's last error";
  const auto entries = events.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].type, 4);
  EXPECT_EQ(entries[0].identifier, 0x40000001u);
  EXPECT_EQ(entries[0].source, "Tarnwick");
  EXPECT_EQ(entries[0].text1, "Tarnwick Store Provider error: 32");
  EXPECT_EQ(entries[0].text2, "Something happened\n");
}

TEST(FrameEventReport, ExceptionReportTexts) {
  EXPECT_EQ(FormatExceptionReport("StoreFolder_Open", "PROVIDERS\\Store\\StoreFolderTLS", 120,
                                  Raise(Exception("Empty path", "common\\FileManagement", 153))),
            "StoreFolder_Open handled an exception; session will be dropped.\n"
            "The exception was: Empty path\n"
            "The exception occurred in : PROVIDERS\\Store\\StoreFolderTLS, line 120\n");
  EXPECT_EQ(FormatExceptionReport("F", "M", 7, Raise(std::runtime_error("boom"))),
            "F handled an exception; session will be dropped.\nThe exception was: boom\n"
            "The exception occurred in : M, line 7\n");
  EXPECT_EQ(FormatExceptionReport("F", "M", 7, Raise(42)),
            "F raised an exception.\nThe exception occurred in : M, line 7\n");
  EXPECT_EQ(FormatExceptionReport("F", "M", 7, Raise(ComError(0x80070005u, "msxml", "denied"))),
            "F handled a COM error.\nCode = 0x80070005\nCode meaning = Access is denied.\n"
            "Source = msxml\nError Description = denied\n");
  EXPECT_EQ(FormatExceptionReport("F", "M", 7, Raise(ComError(0x1234u, "", ""))),
            "F handled a COM error.\nCode = 0x00001234\nCode meaning = Unknown error 0x1234\n");
}

TEST(FrameEventReport, BoundaryReportsAndReturnsTheFailure) {
  test::CapturedEvents events;
  const uint32_t result = AtBoundary("StoreIndex_Open", "SERVICES\\Library\\LIBStoreIndexType", 99, 0u, []() -> uint32_t {
    throw Exception("Out of memory", "Common\\Array", 540);
  });
  EXPECT_EQ(result, 0u);
  const auto entries = events.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].type, 4);
  EXPECT_EQ(entries[0].text2,
            "StoreIndex_Open handled an exception; session will be dropped.\nThe exception was: Out of memory\n"
            "The exception occurred in : SERVICES\\Library\\LIBStoreIndexType, line 99\n");
  EXPECT_EQ(AtBoundary("F", "M", 1, 0u, [] { return 5u; }), 5u);
}

}  // namespace
}  // namespace tw

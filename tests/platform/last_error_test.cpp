#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <utility>

namespace tw::platform {
namespace {

TEST(PlatformLastError, IsKeptPerThreadAndIsNotErrno) {
  SetLastError(kErrorAccessDenied);
  uint32_t seenByOther = 0xFFFF;
  std::thread([&] { seenByOther = GetLastError(), SetLastError(kErrorSharingViolation); }).join();
  errno = ENOENT;
  EXPECT_EQ(seenByOther, kErrorSuccess);
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
}

TEST(PlatformLastError, MessagesOfKnownAndUnknownNumbers) {
  // A known number and an unknown one; the rest of the texts are a table.
  EXPECT_STREQ(ErrorMessage(32), "The process cannot access the file because it is being used by another process.");
  EXPECT_STREQ(ErrorMessage(99999), "Unknown error");
}

}  // namespace
}  // namespace tw::platform

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

TEST(PlatformLastError, MapsErrnoToWindowsNumbers) {
  const std::pair<int, uint32_t> numbers[] = {{0, 0}, {ENOENT, 2}, {ENOTDIR, 3}, {EACCES, 5}, {EPERM, 5},
      {EEXIST, 80}, {EINVAL, 123}, {ENOTEMPTY, 145}, {ENAMETOOLONG, 206}, {ENOSPC, 112}, {EROFS, 19}, {EBUSY, 32},
      {EWOULDBLOCK, 32}, {EMFILE, 4}, {ENOMEM, 8}, {EPROTO, 31}};
  for (const auto& [err, expected] : numbers) EXPECT_EQ(ErrorFromErrno(err), expected) << "errno " << err;

  // A known number and an unknown one; the rest of the texts are a table.
  EXPECT_STREQ(ErrorMessage(32), "The process cannot access the file because it is being used by another process.");
  EXPECT_STREQ(ErrorMessage(99999), "Unknown error");
}

}  // namespace
}  // namespace tw::platform

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

TEST(PlatformLastError, MapsErrnoToWindowsNumbersAndTexts) {
  const std::pair<int, uint32_t> numbers[] = {{0, 0}, {ENOENT, 2}, {ENOTDIR, 3}, {EACCES, 5}, {EPERM, 5},
      {EEXIST, 80}, {EINVAL, 123}, {ENOTEMPTY, 145}, {ENAMETOOLONG, 206}, {ENOSPC, 112}, {EROFS, 19}, {EBUSY, 32},
      {EWOULDBLOCK, 32}, {EMFILE, 4}, {ENOMEM, 8}, {EPROTO, 31}};
  for (const auto& [err, expected] : numbers) EXPECT_EQ(ErrorFromErrno(err), expected) << "errno " << err;

  const std::pair<uint32_t, const char*> texts[] = {{2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."}, {5, "Access is denied."}, {18, "There are no more files."},
      {32, "The process cannot access the file because it is being used by another process."},
      {80, "The file exists."}, {112, "There is not enough space on the disk."}, {145, "The directory is not empty."},
      {123, "The filename, directory name, or volume label syntax is incorrect."},
      {183, "Cannot create a file when that file already exists."}, {206, "The filename or extension is too long."},
      {99999, "Unknown error"}, {0xFFFFFFFF, "Unknown error"}};
  for (const auto& [number, text] : texts) EXPECT_STREQ(ErrorMessage(number), text) << number;
}

}  // namespace
}  // namespace tw::platform

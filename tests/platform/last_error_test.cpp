#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace tw::platform {
namespace {

TEST(PlatformLastError, IsKeptPerThread) {
  SetLastError(kErrorAccessDenied);
  uint32_t seenByOther = 0xFFFF;
  std::thread other([&] {
    seenByOther = GetLastError();
    SetLastError(kErrorSharingViolation);
  });
  other.join();
  EXPECT_EQ(seenByOther, kErrorSuccess);
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  SetLastError(kErrorSuccess);
  EXPECT_EQ(GetLastError(), kErrorSuccess);
}

TEST(PlatformLastError, IsNotErrno) {
  SetLastError(kErrorFileNotFound);
  errno = EACCES;
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

TEST(PlatformLastError, MapsErrnoToWindowsNumbers) {
  EXPECT_EQ(ErrorFromErrno(0), 0u);
  EXPECT_EQ(ErrorFromErrno(ENOENT), 2u);
  EXPECT_EQ(ErrorFromErrno(ENOTDIR), 3u);
  EXPECT_EQ(ErrorFromErrno(EACCES), 5u);
  EXPECT_EQ(ErrorFromErrno(EPERM), 5u);
  EXPECT_EQ(ErrorFromErrno(EEXIST), 80u);
  EXPECT_EQ(ErrorFromErrno(ENAMETOOLONG), 206u);
  EXPECT_EQ(ErrorFromErrno(EINVAL), 123u);
  EXPECT_EQ(ErrorFromErrno(ENOTEMPTY), 145u);
  EXPECT_EQ(ErrorFromErrno(ENOSPC), 112u);
  EXPECT_EQ(ErrorFromErrno(EROFS), 19u);
  EXPECT_EQ(ErrorFromErrno(EBUSY), 32u);
  EXPECT_EQ(ErrorFromErrno(EWOULDBLOCK), 32u);
  EXPECT_EQ(ErrorFromErrno(EMFILE), 4u);
  EXPECT_EQ(ErrorFromErrno(ENOMEM), 8u);
  EXPECT_EQ(ErrorFromErrno(EPROTO), 31u);
}

TEST(PlatformLastError, GivesTheSystemTexts) {
  EXPECT_STREQ(ErrorMessage(2), "The system cannot find the file specified.");
  EXPECT_STREQ(ErrorMessage(3), "The system cannot find the path specified.");
  EXPECT_STREQ(ErrorMessage(5), "Access is denied.");
  EXPECT_STREQ(ErrorMessage(32), "The process cannot access the file because it is being used by another process.");
  EXPECT_STREQ(ErrorMessage(80), "The file exists.");
  EXPECT_STREQ(ErrorMessage(112), "There is not enough space on the disk.");
  EXPECT_STREQ(ErrorMessage(123), "The filename, directory name, or volume label syntax is incorrect.");
  EXPECT_STREQ(ErrorMessage(145), "The directory is not empty.");
  EXPECT_STREQ(ErrorMessage(183), "Cannot create a file when that file already exists.");
  EXPECT_STREQ(ErrorMessage(206), "The filename or extension is too long.");
  EXPECT_STREQ(ErrorMessage(18), "There are no more files.");
}

TEST(PlatformLastError, UnknownNumbersHaveAPlainText) {
  EXPECT_STREQ(ErrorMessage(99999), "Unknown error");
  EXPECT_STREQ(ErrorMessage(0xFFFFFFFF), "Unknown error");
}

}  // namespace
}  // namespace tw::platform

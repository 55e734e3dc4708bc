#include <gtest/gtest.h>

#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

TEST(PlatformReplaceFile, ReplacesTheTargetWhole) {
  test::ScratchDir dir;
  test::WriteFile(dir / "new.tmp", "new");
  test::WriteFile(dir / "options.opt", "old");
  ASSERT_TRUE(ReplaceFile(dir / "new.tmp", dir / "options.opt"));
  EXPECT_EQ(test::ReadFile(dir / "options.opt"), "new");
  EXPECT_FALSE(test::PathExists(dir / "new.tmp"));
}

TEST(PlatformReplaceFile, RefusesHeldFilesAndMissingSources) {
  test::ScratchDir dir;
  test::WriteFile(dir / "new.tmp", "new");
  test::WriteFile(dir / "target", "old");
  FileHandle holder = OpenFile(dir / "target", Access::ReadWrite, Share::None, Disposition::OpenExisting);
  ASSERT_TRUE(holder.IsOpen());
  EXPECT_FALSE(ReplaceFile(dir / "new.tmp", dir / "target"));
  EXPECT_EQ(GetLastError(), kErrorSharingViolation);
  holder.Close();
  EXPECT_EQ(test::ReadFile(dir / "target"), "old");

  EXPECT_FALSE(ReplaceFile(dir / "missing", dir / "target"));
  EXPECT_EQ(GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(ReplaceFile(dir / "new.tmp", dir / "bad|name"));
  EXPECT_EQ(GetLastError(), kErrorInvalidName);
}

}  // namespace
}  // namespace tw::platform

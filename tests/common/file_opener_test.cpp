#include "common/file_opener.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/file_handle.h"
#include "support/test_support.h"

namespace tw {
namespace {

using test::FastSleep;
using test::ScratchDir;

std::string ReadStream(FILE* f) {
  std::string out;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  return out;
}

TEST(CommonFileOpenerOpen, ReadsAnExistingFileWithoutPausing) {
  ScratchDir dir;
  test::WriteFile(dir / "_activity.tab", "line1\nline2");
  FastSleep sleep;
  FileOpener opener(dir.path() + "\\_activity.tab", "r", 0);
  ASSERT_TRUE(opener.IsOpen());
  EXPECT_EQ(opener.LastError(), 0);
  EXPECT_EQ(ReadStream(opener.Stream()), "line1\nline2");
  EXPECT_EQ(FastSleep::Calls(), 0u);
}

TEST(CommonFileOpenerOpen, WritesAreOnDiskOnceTheOpenerIsGone) {
  ScratchDir dir;
  FastSleep sleep;
  {
    FileOpener opener(dir / "_activity.tmp", "w", 1);
    ASSERT_TRUE(opener.IsOpen());
    std::fputs("X-LISTEN", opener.Stream());
  }
  EXPECT_EQ(test::ReadFile(dir / "_activity.tmp"), "X-LISTEN");
  EXPECT_EQ(FastSleep::Calls(), 0u);
}

TEST(CommonFileOpenerOpen, CloseEndsTheStreamEarly) {
  ScratchDir dir;
  FileOpener opener(dir / "f.txt", "w", 0);
  ASSERT_TRUE(opener.IsOpen());
  EXPECT_TRUE(opener.Close());
  EXPECT_FALSE(opener.IsOpen());
  EXPECT_FALSE(opener.Close());
}

TEST(CommonFileOpenerFailure, MissingFileFailsAtOnce) {
  ScratchDir dir;
  FastSleep sleep;
  FileOpener opener(dir / "missing.tab", "r", 0);
  EXPECT_FALSE(opener.IsOpen());
  EXPECT_EQ(opener.Stream(), nullptr);
  EXPECT_EQ(opener.LastError(), 2);
  EXPECT_EQ(FastSleep::Calls(), 0u);
}

TEST(CommonFileOpenerFailure, MissingDirectoryFailsAtOnce) {
  ScratchDir dir;
  FastSleep sleep;
  FileOpener opener(dir.path() + "\\nowhere\\missing.tab", "r", 0);
  EXPECT_FALSE(opener.IsOpen());
  EXPECT_EQ(opener.LastError(), 3);
  EXPECT_EQ(FastSleep::Calls(), 0u);
}

TEST(CommonFileOpenerFailure, FileHeldExclusivelyFailsAfterOnePause) {
  ScratchDir dir;
  test::WriteFile(dir / "_activity.tab", "x");
  platform::FileHandle holder = platform::OpenFile(dir / "_activity.tab", platform::Access::Read,
                                                   platform::Share::None, platform::Disposition::OpenExisting);
  ASSERT_TRUE(holder.IsOpen());
  FastSleep sleep;
  FileOpener opener(dir / "_activity.tab", "r", 0);
  EXPECT_FALSE(opener.IsOpen());
  EXPECT_EQ(opener.LastError(), 32);
  EXPECT_EQ(FastSleep::Calls(), 1u);  // one pause, no second attempt
  EXPECT_EQ(FastSleep::TotalMilliseconds(), 1000u);
}

TEST(CommonFileOpenerFailure, ExclusiveOpenerShutsOutOthersUntilItIsGone) {
  ScratchDir dir;
  test::WriteFile(dir / "_activity.tab", "x");
  FastSleep sleep;
  auto first = std::make_unique<FileOpener>(dir / "_activity.tab", "r", 1);
  ASSERT_TRUE(first->IsOpen());
  {
    FileOpener second(dir / "_activity.tab", "r", 0);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.LastError(), 32);
    EXPECT_EQ(FastSleep::Calls(), 1u);
  }
  first.reset();
  FileOpener third(dir / "_activity.tab", "r", 1);
  EXPECT_TRUE(third.IsOpen());
  EXPECT_EQ(FastSleep::Calls(), 1u);
}

TEST(CommonFileOpenerFailure, ForbiddenNameFailsWithoutCrashing) {
  ScratchDir dir;
  FastSleep sleep;
  FileOpener opener(dir.path() + "\\bad|name", "w", 0);
  EXPECT_FALSE(opener.IsOpen());
  EXPECT_EQ(opener.LastError(), 123);
  EXPECT_EQ(FastSleep::Calls(), 1u);
  EXPECT_FALSE(test::PathExists(dir / "bad|name"));
}

}  // namespace
}  // namespace tw

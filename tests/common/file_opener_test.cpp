#include "common/file_opener.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/file_handle.h"
#include "support/test_support.h"

namespace tw {
namespace {

TEST(CommonFileOpenerOpen, StreamLastsForItsLifeAndOnlyFailuresOtherThanMissingPause) {
  test::ScratchDir dir;
  for (const char* name : {"_activity.tab", "held.tab", "locked.tab"}) test::WriteFile(dir / name, "line1\nline2");
  platform::FileHandle holder = platform::OpenFile(dir / "held.tab", platform::Access::Read, platform::Share::None,
                                                   platform::Disposition::OpenExisting);
  auto locker = std::make_unique<FileOpener>(dir / "locked.tab", "r", 1);
  test::FastSleep sleep;
  {
    FileOpener reader(dir.path() + "\\_activity.tab", "r", 0), writer(dir / "_activity.tmp", "w", 1);
    ASSERT_TRUE(holder.IsOpen() && locker->IsOpen() && reader.IsOpen() && writer.IsOpen());
    char text[32] = {};
    EXPECT_EQ(std::string(text, std::fread(text, 1, sizeof text, reader.Stream())), "line1\nline2");
    EXPECT_EQ(reader.LastError() + writer.LastError(), 0);
    std::fputs("X-LISTEN", writer.Stream());
    EXPECT_TRUE(reader.Close());
    EXPECT_FALSE(reader.IsOpen() || reader.Close());
  }
  EXPECT_EQ(test::ReadFile(dir / "_activity.tmp"), "X-LISTEN");  // on disk once the writer is gone
  std::string outcomes;  // "error:pauses" of each failed open; there is never a second attempt
  for (const std::string name : {"missing.tab", "nowhere\\missing.tab", "held.tab", "locked.tab", "bad|name"}) {
    const uint64_t before = test::FastSleep::Calls();
    FileOpener opener(dir.path() + "\\" + name, name == "bad|name" ? "w" : "r", 0);
    EXPECT_EQ(opener.Stream(), nullptr) << name;
    outcomes += std::to_string(opener.LastError()) + ":" + std::to_string(test::FastSleep::Calls() - before) + " ";
  }
  EXPECT_EQ(outcomes, "2:0 3:0 32:1 32:1 123:1 ");
  EXPECT_EQ(test::FastSleep::TotalMilliseconds(), 3000u);
  EXPECT_FALSE(test::PathExists(dir / "bad|name"));
  locker.reset();  // once the exclusive opener is gone others get in, without a pause
  EXPECT_TRUE(FileOpener(dir / "locked.tab", "r", 1).IsOpen());
  EXPECT_EQ(test::FastSleep::Calls(), 3u);
}

}  // namespace
}  // namespace tw

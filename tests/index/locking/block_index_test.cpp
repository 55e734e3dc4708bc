#include <gtest/gtest.h>

#include <string>

#include "index/locking/block_settings.h"
#include "index/locking/index_file_blocking.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "support/block_fixture.h"
#include "support/holder_process.h"
#include "support/test_support.h"

namespace tw {
namespace {

std::string UnblockMode(bool on) { return test::RegistryKey("Providers") + test::DwordValue("Index Unblock Mode", on); }

class IndexBlockTest : public test::BlockFilesTest {
 protected:
  IndexBlockTest() : BlockFilesTest(UnblockMode(true)) {}
};

TEST_F(IndexBlockTest, HeldAndMarkerBlocksAndBadPaths) {
  const std::string path = dir_ / "_index.blk";
  for (uint32_t mode : {kMarkerBlock, kHeldBlock}) {
    SCOPED_TRACE(mode);
    uintptr_t handle = 77;
    ASSERT_EQ(WaitForAccessToIndexFileEx(path, mode, &handle), 1u);
    EXPECT_EQ(handle != 0, mode == kHeldBlock);
    EXPECT_EQ(OpenHeldBlockCount(), mode == kHeldBlock ? 1u : 0u);
    EXPECT_TRUE(test::PathExists(path));
    EXPECT_EQ(UnBlockIndexFileAccessEx(path, mode, &handle), 1u);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(OpenHeldBlockCount(), 0u);
    EXPECT_EQ(UnBlockIndexFileAccessEx(path, mode, &handle), 0u);  // already gone
    // Missing directory, too long, invalid character: fail at once.
    handle = 77;
    for (const std::string& bad : {dir_ / "missing/_index.blk", dir_ / (std::string(300, 'x') + "/_index.blk"),
                                   dir_ / "a|b/_index.blk"}) {
      EXPECT_EQ(WaitForAccessToIndexFileEx(bad, mode, &handle), 0u) << bad;
      EXPECT_EQ(handle, 77u);
    }
  }
  EXPECT_EQ(test::FastSleep::Calls(), 0u);
}

TEST_F(IndexBlockTest, TwoProcessesExcludeEachOther) {
  const std::string path = dir_ / "_index.blk";
  uintptr_t handle = 0;
  ASSERT_EQ(WaitForAccessToIndexFileEx(path, kHeldBlock, &handle), 1u);
  {
    test::HolderProcess other("create", path);
    EXPECT_EQ(other.Line().rfind("error ", 0), 0u);
  }
  ASSERT_EQ(UnBlockIndexFileAccessEx(path, kHeldBlock, &handle), 1u);
}

// The holder in another process releases (closes and deletes) its block
// during the waiter's third sleep; the waiter must have it right after.
TEST_F(IndexBlockTest, AWaiterTakesTheBlockAsSoonAsTheHolderReleases) {
  const std::string path = dir_ / "_index.blk";
  test::HolderProcess holder("create", path);
  ASSERT_EQ(holder.Line(), "ok");
  uintptr_t handle = 0;
  {
    test::FastSleep releaseOnThird([&](uint64_t call) {
      if (call != 3) return;
      ASSERT_TRUE(holder.Send("close"));
      ASSERT_EQ(holder.Line(), "closed");
      ASSERT_TRUE(platform::DeleteFile(path));
    });
    EXPECT_EQ(WaitForAccessToIndexFileEx(path, kHeldBlock, &handle), 1u);
    EXPECT_EQ(test::FastSleep::Calls(), 3u);
  }
  EXPECT_EQ(UnBlockIndexFileAccessEx(path, kHeldBlock, &handle), 1u);
}

TEST_F(IndexBlockTest, LeftoverBlocksAreTakenOver) {
  const struct {
    const char* name;
    std::string path;  // as the waiter names it; the file is dir/_index.blk
    bool unblockMode;
    bool killedHolder;  // else a marker file left behind
    uint32_t waiterMode;
    uint64_t sleeps;
  } cases[] = {
      {"killed holder, counted wait", dir_ / "_index.blk", false, true, kHeldBlock, 61},
      {"killed holder, orphan deleted", dir_ / "_index.blk", true, true, kHeldBlock, 1},
      {"killed holder, marker waiter", dir_ / "_index.blk", true, true, kMarkerBlock, 61},
      {"killed holder, other block", dir_ / "_groups.blk", true, true, kHeldBlock, 61},
      {"marker left behind", dir_ / "_index.blk", false, false, kHeldBlock, 61},
      {"marker, orphan deleted", dir_.path() + "\\_INDEX.blk", true, false, kHeldBlock, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UseRegistry(UnblockMode(c.unblockMode));
    if (c.killedHolder) {
      test::HolderProcess holder("create", c.path);
      ASSERT_EQ(holder.Line(), "ok");
      holder.Kill();
    } else {
      test::WriteFile(dir_ / "_index.blk", "");
    }
    const uint64_t before = test::FastSleep::Calls();
    uintptr_t handle = 0;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(WaitForAccessToIndexFileEx(c.path, c.waiterMode, &handle), 1u);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.sleeps == 1 ? "deleted orphan\n" : "");
    EXPECT_EQ(test::FastSleep::Calls() - before, c.sleeps);
    EXPECT_EQ(UnBlockIndexFileAccessEx(c.path, c.waiterMode, &handle), 1u);
    EXPECT_FALSE(test::PathExists(dir_ / "_index.blk"));
  }
}

// A busy folder: its block is released and taken again by others during
// every wait. Those waits show live holders and never count towards breaking
// the block, so the waiter neither breaks in nor gives up, however long it
// takes its turn.
TEST(IndexBlockBusyTest, AWaiterOutlastsAnyNumberOfOtherHolders) {
  test::ScratchDir dir;
  test::ScopedRegistry registry{UnblockMode(false)};
  ResetBlockSettingsCache();
  const std::string path = dir / "_index.blk";
  auto take = [&] {
    return platform::OpenFile(path, platform::Access::Write, platform::Share::None, platform::Disposition::CreateNew);
  };
  for (uint32_t mode : {kHeldBlock, kMarkerBlock}) {
    platform::FileHandle other = take();
    ASSERT_TRUE(other.IsOpen());
    uintptr_t handle = 0;
    {
      test::FastSleep othersTakeTurns([&](uint64_t call) {
        other.Close();
        platform::DeleteFile(path);
        if (call <= 150) other = take();
      });
      EXPECT_EQ(WaitForAccessToIndexFileEx(path, mode, &handle), 1u);
      EXPECT_EQ(test::FastSleep::Calls(), 151u) << "one wait per turn of the others, then its own";
    }
    EXPECT_EQ(UnBlockIndexFileAccessEx(path, mode, &handle), 1u);
  }
  ResetBlockSettingsCache();
}

}  // namespace
}  // namespace tw

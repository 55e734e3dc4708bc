// Block files whose holder is gone are taken at once; blocks of running
// holders are never taken nor deleted; what cannot be told keeps the counted
// wait. Holders are real processes (tw_hold_file) taking blocks the
// library's way.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "frame/settings.h"
#include "index/locking/activity_block.h"
#include "index/locking/block_owner.h"
#include "index/locking/calendar_block.h"
#include "index/locking/index_file_blocking.h"
#include "platform/system_info.h"
#include "support/block_fixture.h"
#include "support/holder_process.h"
#include "support/test_support.h"

namespace tw {
namespace {

std::string UnblockMode(uint32_t mode) {
  return test::RegistryKey("Providers") + test::DwordValue("Index Unblock Mode", mode);
}

class OrphanBlockTest : public test::BlockFilesTest {
 protected:
  OrphanBlockTest() : BlockFilesTest(UnblockMode(0)) {}
  void SetUp() override {
    BlockFilesTest::SetUp();
    StoreSettings settings;
    settings.blockFileBase = dir_.path();
    SetSettings(settings);
  }
  void TearDown() override {
    SetSettings({});
    BlockFilesTest::TearDown();
  }

  // The block's owner record, which must name this process.
  void ExpectOwnedByUs(const std::string& file, BlockKind kind) {
    BlockOwner owner;
    ASSERT_TRUE(ParseOwnerRecord(test::ReadFile(file), owner)) << test::ReadFile(file);
    EXPECT_EQ(owner.kind, kind);
    EXPECT_EQ(owner.pid, platform::CurrentProcessId());
  }
};

std::string Record(const std::string& kind, const std::string& host, const std::string& boot, uint64_t pid,
                   uint64_t start) {
  return "kind=" + kind + " host=" + host + " boot=" + boot + " pid=" + std::to_string(pid) +
         " start=" + std::to_string(start) + "\n";
}

TEST_F(OrphanBlockTest, AKilledHoldersBlockIsTakenOnTheFirstAttemptInEveryMode) {
  for (uint32_t unblockMode : {0u, 1u}) {
    UseRegistry(UnblockMode(unblockMode));
    for (const char* holderMode : {"index-held", "index-marker"}) {
      for (const char* name : {"_index.blk", "_groups.blk"}) {
        for (uint32_t waiterMode : {kHeldBlock, kMarkerBlock}) {
          SCOPED_TRACE(std::to_string(unblockMode) + " " + holderMode + " " + name + " " +
                       std::to_string(waiterMode));
          const std::string path = dir_ / name;
          test::HolderProcess holder(holderMode, path);
          ASSERT_EQ(holder.Line(), "ok");
          holder.Kill();
          const uint64_t before = test::FastSleep::Calls();
          uintptr_t handle = 0;
          ::testing::internal::CaptureStdout();
          EXPECT_EQ(WaitForAccessToIndexFileEx(path, waiterMode, &handle), 1u);
          EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
          EXPECT_EQ(test::FastSleep::Calls(), before);
          ExpectOwnedByUs(path, waiterMode == kHeldBlock ? BlockKind::Held : BlockKind::Marker);
          EXPECT_EQ(UnBlockIndexFileAccessEx(path, waiterMode, &handle), 1u);
          EXPECT_FALSE(test::PathExists(path));
        }
      }
    }
  }

  const std::string activity = dir_ / "_activity.blk";
  test::HolderProcess notifier("activity", activity);
  ASSERT_EQ(notifier.Line(), "ok");
  notifier.Kill();
  {
    BlockFileLock lock;
    EXPECT_EQ(lock.Acquire(activity, 0, 100), 1u);
    EXPECT_EQ(lock.Release(), BlockFileLock::kFree);
    EXPECT_FALSE(test::PathExists(activity));
  }

  const std::string calendar = dir_ / "alice.BLK";
  test::HolderProcess writer("calendar", calendar);
  ASSERT_EQ(writer.Line(), "ok");
  writer.Kill();
  EXPECT_EQ(CreateCalendarBlock("alice"), 1u);
  ExpectOwnedByUs(calendar, BlockKind::Marker);
  ASSERT_EQ(DeleteCalendarBlock("alice"), 1u);
  // A reader finds a dead writer's block gone at once.
  test::HolderProcess writer2("calendar", calendar);
  ASSERT_EQ(writer2.Line(), "ok");
  writer2.Kill();
  WaitWhileCalendarBlocked("alice");
  EXPECT_FALSE(test::PathExists(calendar));

  EXPECT_EQ(test::FastSleep::Calls(), 0u);
}

TEST_F(OrphanBlockTest, ARunningHoldersBlockIsNeverTakenNorDeleted) {
  for (uint32_t unblockMode : {0u, 1u}) {
    UseRegistry(UnblockMode(unblockMode));
    for (const char* holderMode : {"index-held", "index-marker"}) {
      const std::string path = dir_ / "_index.blk";
      test::HolderProcess holder(holderMode, path);
      ASSERT_EQ(holder.Line(), "ok");
      const std::string record = test::ReadFile(path);
      const bool held = std::string(holderMode) == "index-held";
      for (uint32_t waiterMode : {kHeldBlock, kMarkerBlock}) {
        SCOPED_TRACE(std::to_string(unblockMode) + " " + holderMode + " " + std::to_string(waiterMode));
        const uint64_t before = test::FastSleep::Calls();
        uintptr_t handle = 77;
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(WaitForAccessToIndexFileEx(path, waiterMode, &handle), 0u);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(handle, 77u);
        // 61 seconds of waiting; a held block then resists 80 delete retries.
        EXPECT_EQ(test::FastSleep::Calls() - before, held ? 141u : 61u);
        EXPECT_EQ(test::ReadFile(path), record);
      }
      holder.Kill();
      uintptr_t handle = 0;
      ASSERT_EQ(WaitForAccessToIndexFileEx(path, kHeldBlock, &handle), 1u);
      ASSERT_EQ(UnBlockIndexFileAccessEx(path, kHeldBlock, &handle), 1u);
    }
  }

  // A calendar writer of this process still runs: a second writer gives up
  // after "Write Wait Timeout" and a reader stops waiting after "Read Wait
  // Timeout", both leaving the block as it is.
  ASSERT_EQ(CreateCalendarBlock("alice"), 1u);
  const std::string calendar = dir_ / "alice.BLK";
  const std::string record = test::ReadFile(calendar);
  const uint64_t before = test::FastSleep::Calls();
  EXPECT_EQ(CreateCalendarBlock("alice"), 0u);
  EXPECT_EQ(test::FastSleep::Calls() - before, 81u);
  WaitWhileCalendarBlocked("alice");
  EXPECT_EQ(test::FastSleep::Calls() - before, 81u + 61u);
  EXPECT_EQ(test::ReadFile(calendar), record);
  EXPECT_EQ(DeleteCalendarBlock("alice"), 1u);
}

TEST_F(OrphanBlockTest, AMarkersOwnerRecordDecidesBetweenAtOnceAndTheCountedWait) {
  const std::string host = platform::ComputerName();
  const std::string boot = platform::BootId();
  const uint64_t pid = platform::CurrentProcessId();
  uint64_t start = 0;
  ASSERT_TRUE(platform::ProcessStartTime(pid, start));
  ASSERT_FALSE(boot.empty());
  const std::string otherBoot = boot.front() == '0' ? "1" + boot.substr(1) : "0" + boot.substr(1);
  const std::string tooLong = "kind=marker host=" + std::string(390, 'h') + " boot=" + boot + " pid=1 start=1\n";
  const struct {
    const char* name;
    std::string content;
    uint32_t unblockMode;
    uint64_t sleeps;  // 0: taken at once; 61: the counted wait, then broken
  } cases[] = {
      {"owner's pid unused", Record("marker", host, boot, INT_MAX, start), 0, 0},
      {"pid reused by a later process", Record("marker", host, boot, pid, start + 1), 0, 0},
      {"written before a restart", Record("marker", host, otherBoot, pid, start), 0, 0},
      {"held, its lock gone", Record("held", "elsewhere.example", boot, pid, start), 0, 0},
      {"another host's marker", Record("marker", "elsewhere.example", boot, pid, start), 0, 61},
      {"another host's marker, unblock mode", Record("marker", "elsewhere.example", boot, pid, start), 1, 1},
      {"old empty block", "", 0, 61},
      {"empty block, unblock mode", "", 1, 1},
      {"damaged", Record("marker", host, boot, INT_MAX, start).substr(0, 40), 0, 61},
      {"pid out of range", Record("marker", host, boot, 0, start) + "", 0, 61},
      {"pid overflows", "kind=marker host=" + host + " boot=" + boot + " pid=99999999999999999999 start=1\n", 0,
       61},
      {"start overflows", "kind=marker host=" + host + " boot=" + boot + " pid=1 start=99999999999999999999\n", 0,
       61},
      {"unknown kind", Record("lease", host, boot, INT_MAX, start), 0, 61},
      {"trailing text", Record("marker", host, boot, INT_MAX, start) + "x", 0, 61},
      {"blank in host", Record("marker", host + " x", boot, INT_MAX, start), 0, 61},
      {"binary", std::string("kind=marker\0host=\xff\n", 19), 0, 61},
      {"too long", tooLong, 0, 61},
  };
  const std::string path = dir_ / "_index.blk";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UseRegistry(UnblockMode(c.unblockMode));
    test::WriteFile(path, c.content);
    const uint64_t before = test::FastSleep::Calls();
    uintptr_t handle = 0;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(WaitForAccessToIndexFileEx(path, kHeldBlock, &handle), 1u);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.sleeps == 1 ? "deleted orphan\n" : "");
    EXPECT_EQ(test::FastSleep::Calls() - before, c.sleeps);
    ExpectOwnedByUs(path, BlockKind::Held);
    EXPECT_EQ(UnBlockIndexFileAccessEx(path, kHeldBlock, &handle), 1u);
  }

  // This process's own marker: its owner runs.
  test::WriteFile(path, Record("marker", host, boot, pid, start));
  uintptr_t handle = 0;
  EXPECT_EQ(WaitForAccessToIndexFileEx(path, kHeldBlock, &handle), 0u);
  EXPECT_EQ(test::ReadFile(path), Record("marker", host, boot, pid, start));
}

}  // namespace
}  // namespace tw

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "frame/event_report.h"
#include "index/locking/activity_block.h"
#include "index/locking/block_settings.h"
#include "platform/mutex.h"
#include "support/block_fixture.h"
#include "support/holder_process.h"
#include "support/test_support.h"

namespace tw {
namespace {

std::string BlockFileMode(bool on) { return test::RegistryKey() + test::DwordValue("Block File Mode", on); }

class IndexBlockActivityTest : public test::BlockFilesTest {
 protected:
  IndexBlockActivityTest() : BlockFilesTest(BlockFileMode(false)) {}
};

TEST_F(IndexBlockActivityTest, OwnerStampAndSharedReadFollowBlockFileMode) {
  const std::string path = dir_ / "_activity.blk";
  for (bool stamped : {true, false}) {
    UseRegistry(BlockFileMode(stamped));
    BlockFileLock lock;
    ASSERT_EQ(lock.Acquire(path, 0, 100), 1u);
    test::HolderProcess reader("shared", path);
    EXPECT_EQ(reader.Line(), stamped ? "ok" : "error 32");
    const std::string content = test::ReadFile(path);
    const std::string tid = std::to_string(platform::CurrentThreadId());
    const std::regex form("^\\S+ \\S+ \\S+ twstore_tests " + tid + "$");
    EXPECT_EQ(std::regex_match(content, form), stamped) << content;
    EXPECT_EQ(content.empty(), !stamped);
    // Readable or not, a live holder's block cannot be broken.
    EXPECT_EQ(UnBlockIndexFileAccess_Notify(path, nullptr), 0);
    EXPECT_TRUE(test::PathExists(path));
    reader.Kill();
    EXPECT_EQ(lock.Release(), BlockFileLock::kFree);
    EXPECT_FALSE(test::PathExists(path));
  }
}

TEST_F(IndexBlockActivityTest, WaitsBreaksOrGivesUp) {
  const struct {
    const char* name;
    const char* file;
    bool liveHolder;
    int32_t state;
    uint64_t sleeps;  // threshold 2: the third sleep breaks the block
  } cases[] = {
      {"killed holder's block is taken at once", "_activity.blk", false, BlockFileLock::kHeld, 0},
      {"live holder: 80 delete retries, give up", "_activity.blk", true, BlockFileLock::kGaveUp, 3 + 80},
      {"missing directory", "none/_activity.blk", false, BlockFileLock::kFree, 0},
      {"invalid name", "a|b/_activity.blk", false, BlockFileLock::kFree, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_ / c.file;
    test::HolderProcess holder("create", dir_ / "_activity.blk");
    ASSERT_EQ(holder.Line(), "ok");
    if (!c.liveHolder) holder.Kill();
    test::CapturedEvents events;
    const uint64_t before = test::FastSleep::Calls();
    BlockFileLock lock;
    EXPECT_EQ(lock.Acquire(path, 0, 2), c.state == BlockFileLock::kHeld ? 1u : 0u);
    EXPECT_EQ(lock.State(), c.state);
    EXPECT_EQ(test::FastSleep::Calls() - before, c.sleeps);
    const auto entries = events.entries();
    ASSERT_EQ(entries.size(), c.state == BlockFileLock::kHeld ? 0u : 1u);
    if (!entries.empty()) {
      EXPECT_EQ(entries[0].text2, "TW-EXXXX: [Thread:" + std::to_string(platform::CurrentThreadId()) +
                                      "] Error (Class S): BlockFileLock Activity notification handler "
                                      "(WaitForAccessToFile) failed to obtain a lock on the blockfile (" +
                                      path + ").\n");
    }
    EXPECT_TRUE(test::PathExists(dir_ / "_activity.blk"));  // a live block is never deleted
    holder.Kill();
    lock.Release();
    UnBlockIndexFileAccess_Notify(dir_ / "_activity.blk", nullptr);
  }
  EXPECT_EQ(UnBlockIndexFileAccess_Notify(dir_ / "_activity.blk", nullptr), 2);
  EXPECT_EQ(UnBlockIndexFileAccess_Notify(dir_ / "none/_activity.blk", nullptr), 0);
}

}  // namespace
}  // namespace tw

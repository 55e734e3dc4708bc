// The library's one sleep and the wait for a file to go away.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/sleep.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

std::atomic<int> g_calls{0};
std::atomic<uint32_t> g_lastMilliseconds{0};
std::string g_removeDuringSleep;

void Recording(uint32_t ms) {
  ++g_calls;
  g_lastMilliseconds = ms;
}

std::atomic<int> g_otherCalls{0};
void Other(uint32_t) { ++g_otherCalls; }

// Stands for another process deleting the file while we sleep.
void RemovingSleep(uint32_t ms) {
  Recording(ms);
  std::remove(g_removeDuringSleep.c_str());
}

class SleepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = 0;
    g_otherCalls = 0;
    g_lastMilliseconds = 0;
  }
  void TearDown() override { SetSleepFunction(nullptr); }
};

TEST_F(SleepTest, ReplacementReceivesEverySleep) {
  EXPECT_EQ(SetSleepFunction(&Recording), nullptr);
  Sleep(1000);
  Sleep(2000);
  EXPECT_EQ(g_calls, 2);
  EXPECT_EQ(g_lastMilliseconds, 2000u);
}

TEST_F(SleepTest, SetReturnsPreviousReplacement) {
  EXPECT_EQ(SetSleepFunction(&Recording), nullptr);
  EXPECT_EQ(SetSleepFunction(&Other), &Recording);
  EXPECT_EQ(SetSleepFunction(nullptr), &Other);
  EXPECT_EQ(SetSleepFunction(nullptr), nullptr);
}

TEST_F(SleepTest, ZeroSleepsForRealReturn) {
  // Nothing installed: the real sleep, for no time at all.
  Sleep(0);
  EXPECT_EQ(g_calls, 0);
}

TEST_F(SleepTest, FastSleepFixtureCounts) {
  test::FastSleep fast;
  Sleep(1000);
  Sleep(1000);
  EXPECT_EQ(test::FastSleep::Calls(), 2u);
  EXPECT_EQ(test::FastSleep::TotalMilliseconds(), 2000u);
}

TEST_F(SleepTest, ReplacementIsSafeToSwapWhileThreadsSleep) {
  SetSleepFunction(&Recording);
  std::vector<std::thread> sleepers;
  for (int i = 0; i < 4; ++i)
    sleepers.emplace_back([&] {
      for (int n = 0; n < 2000; ++n) Sleep(1000);
    });
  for (int n = 0; n < 2000; ++n) SetSleepFunction(n % 2 ? &Recording : &Other);
  SetSleepFunction(&Recording);
  for (auto& t : sleepers) t.join();
  // Every sleep went to one of the two replacements; none slept for real.
  EXPECT_EQ(g_calls + g_otherCalls, 8000);
}

TEST_F(SleepTest, UntilRemovedWithReplacementSleepsOnceAndReports) {
  test::ScratchDir dir;
  const std::string path = dir / "_index.blk";
  test::WriteFile(path, "");
  SetSleepFunction(&Recording);
  EXPECT_FALSE(SleepUntilRemoved(path, 1000));
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(g_lastMilliseconds, 1000u);

  g_removeDuringSleep = path;
  SetSleepFunction(&RemovingSleep);
  EXPECT_TRUE(SleepUntilRemoved(path, 1000));
  EXPECT_EQ(g_calls, 2);
  // Already gone: still one sleep, as the counted waits expect.
  EXPECT_TRUE(SleepUntilRemoved(path, 1000));
  EXPECT_EQ(g_calls, 3);
}

TEST_F(SleepTest, UntilRemovedReturnsAtOnceForMissingFile) {
  test::ScratchDir dir;
  EXPECT_TRUE(SleepUntilRemoved(dir / "gone.blk", 60000));
  EXPECT_TRUE(SleepUntilRemoved(dir / "no/such/dir/gone.blk", 60000));
  EXPECT_TRUE(SleepUntilRemoved(dir.path() + "\\gone.blk", 60000));
}

TEST_F(SleepTest, UntilRemovedTimesOutWhileFileStays) {
  test::ScratchDir dir;
  const std::string path = dir / "_index.blk";
  test::WriteFile(path, "");
  EXPECT_FALSE(SleepUntilRemoved(path, 0));
  EXPECT_TRUE(test::PathExists(path));
}

TEST_F(SleepTest, UntilRemovedEndsWhenAnotherProcessDeletes) {
  test::ScratchDir dir;
  const std::string path = dir / "_index.blk";
  test::WriteFile(path, "");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    unlink(path.c_str());
    _exit(0);
  }
  // Whether the delete comes before or during the wait, the wait ends with
  // the file gone, long before its bound.
  EXPECT_TRUE(SleepUntilRemoved(path, 60000));
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_FALSE(test::PathExists(path));
}

TEST_F(SleepTest, UntilRemovedEndsWhenFileIsRenamedAway) {
  test::ScratchDir dir;
  const std::string path = dir / "_index.blk";
  test::WriteFile(path, "");
  std::thread mover([&] { std::rename(path.c_str(), (dir / "elsewhere").c_str()); });
  EXPECT_TRUE(SleepUntilRemoved(path, 60000));
  mover.join();
  EXPECT_TRUE(test::PathExists(dir / "elsewhere"));
}

TEST_F(SleepTest, UntilRemovedIgnoresOtherFilesInTheDirectory) {
  test::ScratchDir dir;
  const std::string path = dir / "_index.blk";
  test::WriteFile(path, "");
  test::WriteFile(dir / "other", "");
  // Another file's removal wakes the watch, but the wait goes on until the
  // block file itself is gone.
  std::thread remover([&] {
    std::remove((dir / "other").c_str());
    std::remove(path.c_str());
  });
  EXPECT_TRUE(SleepUntilRemoved(path, 60000));
  remover.join();
  EXPECT_FALSE(test::PathExists(path));
}

}  // namespace
}  // namespace tw::platform

// The library's one sleep and the wait for a file to go away.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/sleep.h"
#include "support/test_support.h"

namespace tw::platform {
namespace {

int g_calls = 0;
uint32_t g_last = 0;
std::string g_doomed;  // removed by the sleep that stands for another process
void Recording(uint32_t ms) {
  ++g_calls;
  g_last = ms;
}

struct SleepTest : ::testing::Test {
  void SetUp() override { g_calls = 0; }
  void TearDown() override { SetSleepFunction(nullptr); }
};

TEST_F(SleepTest, ReplacementReceivesEverySleepAndEachWaitForRemoval) {
  test::ScratchDir dir;
  g_doomed = dir / "_index.blk";
  test::WriteFile(g_doomed, "");
  EXPECT_EQ(SetSleepFunction(&Recording), nullptr);
  Sleep(2000);
  EXPECT_EQ(g_last, 2000u);
  EXPECT_FALSE(SleepUntilRemoved(g_doomed, 1000));
  EXPECT_EQ(g_last, 1000u);
  EXPECT_EQ(SetSleepFunction([](uint32_t ms) { Recording(ms); std::remove(g_doomed.c_str()); }), &Recording);
  EXPECT_TRUE(SleepUntilRemoved(g_doomed, 1000));
  EXPECT_TRUE(SleepUntilRemoved(g_doomed, 1000));  // already gone: still one sleep, as counted waits expect
  EXPECT_EQ(g_calls, 4);
  SetSleepFunction(nullptr);
  EXPECT_EQ(SetSleepFunction(nullptr), nullptr);
}

// A block released and at once taken again by someone else is not the
// block that was waited on.
TEST_F(SleepTest, AFileDeletedAndMadeAgainCountsAsGone) {
  test::ScratchDir dir;
  g_doomed = dir / "_index.blk";
  test::WriteFile(g_doomed, "first");
  SetSleepFunction([](uint32_t) {
    std::remove(g_doomed.c_str());
    test::WriteFile(g_doomed, "second");
  });
  EXPECT_TRUE(SleepUntilRemoved(g_doomed, 1000));
  EXPECT_EQ(test::ReadFile(g_doomed), "second");
}

TEST_F(SleepTest, UntilRemovedEndsWhenAnotherProcessDeletesOrRenamesTheFile) {
  test::ScratchDir dir;
  for (const std::string& gone : {dir / "gone.blk", dir / "no/such/dir/gone.blk", dir.path() + "\\gone.blk"})
    EXPECT_TRUE(SleepUntilRemoved(gone, 60000)) << gone;
  const std::string path = dir / "_index.blk", other = dir / "other", elsewhere = dir / "elsewhere";
  for (bool byRename : {false, true}) {
    test::WriteFile(path, "");
    test::WriteFile(other, "");
    EXPECT_FALSE(SleepUntilRemoved(path, 0));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // another file's removal wakes the watch too; the wait goes on
      unlink(other.c_str());
      _exit(byRename ? rename(path.c_str(), elsewhere.c_str()) : unlink(path.c_str()));
    }
    EXPECT_TRUE(SleepUntilRemoved(path, 60000)) << byRename;
    int status = -1;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(test::PathExists(path));
  }
}

}  // namespace
}  // namespace tw::platform

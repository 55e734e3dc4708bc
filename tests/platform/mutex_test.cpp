// Process-local mutexes: re-entrant, waitable with a time-out, and
// "abandoned" when the owner thread ended without releasing.
#include <gtest/gtest.h>

#include <future>
#include <set>
#include <thread>
#include <vector>

#include "platform/last_error.h"
#include "platform/mutex.h"

namespace tw::platform {
namespace {

constexpr uint32_t kErrorNotOwner = 288;
// Runs `body` on a thread of its own and waits for it to end.
template <typename Body> auto OnOtherThread(Body body) { return std::async(std::launch::async, body).get(); }

TEST(RecursiveMutex, HolderMayWaitAgainAndOnlyItReleasesAsOften) {
  RecursiveMutex mutex;
  for (uint32_t timeout : {kInfinite, 0u, 5000u}) EXPECT_EQ(mutex.Wait(timeout), WaitResult::Acquired) << timeout;
  EXPECT_EQ(OnOtherThread([&] { return mutex.Release() ? 0u : GetLastError(); }), kErrorNotOwner);
  EXPECT_TRUE(mutex.Release() && mutex.Release());
  EXPECT_EQ(OnOtherThread([&] { return mutex.Wait(0); }), WaitResult::TimedOut);  // still held once
  EXPECT_EQ(OnOtherThread([&] { return mutex.Wait(1); }), WaitResult::TimedOut);
  EXPECT_TRUE(mutex.Release());
  SetLastError(0);
  EXPECT_EQ(mutex.Release() ? 0u : GetLastError(), kErrorNotOwner);
}

TEST(RecursiveMutex, ThreadEndingWhileHoldingLeavesItAbandonedToOneWaiter) {
  for (uint32_t timeout : {0u, 5000u, kInfinite}) {
    SCOPED_TRACE(timeout);
    RecursiveMutex mutex;
    std::thread([&] { mutex.Wait(); mutex.Wait(); }).join();  // held twice, released never
    EXPECT_EQ(mutex.Wait(timeout), WaitResult::Abandoned);
    EXPECT_EQ(OnOtherThread([&] { return mutex.Wait(0); }), WaitResult::TimedOut);  // we own it now
    EXPECT_EQ(mutex.Wait(timeout), WaitResult::Acquired);
    // Owned once after the take-over (not twice as the dead thread had it), then an ordinary mutex again.
    EXPECT_TRUE(mutex.Release() && mutex.Release() && !mutex.Release());
    EXPECT_TRUE(OnOtherThread([&] { return mutex.Wait(timeout) == WaitResult::Acquired && mutex.Release(); }));
  }
}

TEST(RecursiveMutex, ExcludesThreadsFromEachOther) {
  RecursiveMutex mutex;
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(mutex.Wait(), WaitResult::Acquired);  // waiters wake when the holder releases
        ++counter;
        ASSERT_TRUE(mutex.Release());
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
}

TEST(CurrentThreadId, NonZeroStableAndDistinctPerThread) {
  std::set<uint64_t> ids{CurrentThreadId(), CurrentThreadId()};
  for (int i = 0; i < 4; ++i) ids.insert(OnOtherThread(&CurrentThreadId));
  EXPECT_EQ(ids.size(), 5u);
  EXPECT_EQ(ids.count(0), 0u);
}

}  // namespace
}  // namespace tw::platform

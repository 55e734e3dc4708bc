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
template <typename Body>
auto OnOtherThread(Body body) {
  auto task = std::async(std::launch::async, body);
  return task.get();
}

TEST(RecursiveMutex, HolderMayWaitAgainAndReleasesAsOften) {
  RecursiveMutex mutex;
  EXPECT_EQ(mutex.Wait(), WaitResult::Acquired);
  EXPECT_EQ(mutex.Wait(kInfinite), WaitResult::Acquired);
  EXPECT_EQ(mutex.Wait(0), WaitResult::Acquired);
  EXPECT_TRUE(mutex.Release());
  EXPECT_TRUE(mutex.Release());
  // Still held once: others cannot have it yet.
  EXPECT_EQ(OnOtherThread([&] { return mutex.Wait(0); }), WaitResult::TimedOut);
  EXPECT_TRUE(mutex.Release());
  SetLastError(0);
  EXPECT_FALSE(mutex.Release());
  EXPECT_EQ(GetLastError(), kErrorNotOwner);
}

TEST(RecursiveMutex, ReleaseByNonOwnerFails) {
  RecursiveMutex mutex;
  ASSERT_EQ(mutex.Wait(), WaitResult::Acquired);
  const auto [released, error] = OnOtherThread([&] {
    SetLastError(0);
    const bool ok = mutex.Release();
    return std::pair<bool, uint32_t>(ok, GetLastError());
  });
  EXPECT_FALSE(released);
  EXPECT_EQ(error, kErrorNotOwner);
  EXPECT_TRUE(mutex.Release());
}

TEST(RecursiveMutex, WaitTimesOutWhileAnotherThreadHoldsIt) {
  RecursiveMutex mutex;
  ASSERT_EQ(mutex.Wait(), WaitResult::Acquired);
  EXPECT_EQ(OnOtherThread([&] { return mutex.Wait(0); }), WaitResult::TimedOut);
  EXPECT_EQ(OnOtherThread([&] { return mutex.Wait(1); }), WaitResult::TimedOut);
  ASSERT_TRUE(mutex.Release());
  const WaitResult later = OnOtherThread([&] {
    const WaitResult r = mutex.Wait(1);
    if (r == WaitResult::Acquired) mutex.Release();
    return r;
  });
  EXPECT_EQ(later, WaitResult::Acquired);
}

TEST(RecursiveMutex, WaiterGetsItWhenHolderReleases) {
  RecursiveMutex mutex;
  std::promise<void> held;
  std::promise<void> letGo;
  std::thread holder([&] {
    mutex.Wait();
    held.set_value();
    letGo.get_future().wait();
    mutex.Release();
  });
  held.get_future().wait();
  letGo.set_value();
  // Whether the release comes before or during this wait, it ends acquired.
  EXPECT_EQ(mutex.Wait(), WaitResult::Acquired);
  EXPECT_TRUE(mutex.Release());
  holder.join();
}

TEST(RecursiveMutex, ThreadEndingWhileHoldingLeavesItAbandoned) {
  RecursiveMutex mutex;
  std::thread([&] {
    mutex.Wait();
    mutex.Wait();  // held twice, released never
  }).join();

  EXPECT_EQ(mutex.Wait(0), WaitResult::Abandoned);
  // The abandoned wait left us the owner, once.
  EXPECT_EQ(OnOtherThread([&] { return mutex.Wait(0); }), WaitResult::TimedOut);
  EXPECT_TRUE(mutex.Release());
  EXPECT_FALSE(mutex.Release());

  // Once taken over it is an ordinary mutex again.
  EXPECT_EQ(mutex.Wait(), WaitResult::Acquired);
  EXPECT_TRUE(mutex.Release());
}

TEST(RecursiveMutex, AbandonedIsReportedToTimedAndUnlimitedWaits) {
  for (uint32_t timeout : {kInfinite, 5000u}) {
    RecursiveMutex mutex;
    std::thread([&] { mutex.Wait(); }).join();
    EXPECT_EQ(mutex.Wait(timeout), WaitResult::Abandoned) << timeout;
    EXPECT_EQ(mutex.Wait(timeout), WaitResult::Acquired) << timeout;
    EXPECT_TRUE(mutex.Release());
    EXPECT_TRUE(mutex.Release());
  }
}

TEST(RecursiveMutex, ExcludesThreadsFromEachOther) {
  RecursiveMutex mutex;
  int counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        ASSERT_EQ(mutex.Wait(), WaitResult::Acquired);
        const int seen = counter;
        counter = seen + 1;
        ASSERT_TRUE(mutex.Release());
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
}

TEST(CurrentThreadId, NonZeroStableAndDistinctPerThread) {
  const uint64_t mine = CurrentThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(CurrentThreadId(), mine);
  std::set<uint64_t> ids{mine};
  std::vector<std::thread> threads;
  std::vector<uint64_t> seen(4);
  for (size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = CurrentThreadId(); });
  for (auto& t : threads) t.join();
  for (uint64_t id : seen) {
    EXPECT_NE(id, 0u);
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 5u);
}

}  // namespace
}  // namespace tw::platform

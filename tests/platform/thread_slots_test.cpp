// Thread-local slots and the thread-detach handler.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/last_error.h"
#include "platform/mutex.h"
#include "platform/thread_slots.h"

namespace tw::platform {
namespace {

TEST(ThreadSlots, AllocatedSlotsAreDistinctAndStartEmpty) {
  std::set<uint32_t> slots;
  for (int i = 0; i < 3; ++i) {
    const uint32_t slot = TlsAlloc();
    ASSERT_NE(slot, kInvalidSlot);
    EXPECT_EQ(TlsGetValue(slot), nullptr);
    EXPECT_EQ(GetLastError(), kErrorSuccess);
    slots.insert(slot);
  }
  EXPECT_EQ(slots.size(), 3u);
  for (uint32_t slot : slots) EXPECT_TRUE(TlsFree(slot));
}

TEST(ThreadSlots, ValuesArePerThread) {
  const uint32_t slot = TlsAlloc();
  ASSERT_NE(slot, kInvalidSlot);
  int mine = 1;
  int theirs = 2;
  ASSERT_TRUE(TlsSetValue(slot, &mine));
  void* seenBefore = &mine;
  void* seenAfter = nullptr;
  std::thread([&] {
    seenBefore = TlsGetValue(slot);
    TlsSetValue(slot, &theirs);
    seenAfter = TlsGetValue(slot);
  }).join();
  EXPECT_EQ(seenBefore, nullptr);
  EXPECT_EQ(seenAfter, &theirs);
  EXPECT_EQ(TlsGetValue(slot), &mine);
  ASSERT_TRUE(TlsSetValue(slot, nullptr));
  EXPECT_EQ(TlsGetValue(slot), nullptr);
  EXPECT_TRUE(TlsFree(slot));
}

TEST(ThreadSlots, SlotHandedOutAgainStartsEmptyInEveryThread) {
  const uint32_t slot = TlsAlloc();
  ASSERT_NE(slot, kInvalidSlot);
  int value = 0;
  ASSERT_TRUE(TlsSetValue(slot, &value));
  ASSERT_TRUE(TlsFree(slot));
  EXPECT_FALSE(TlsSetValue(slot, &value));
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_FALSE(TlsFree(slot));
  const uint32_t again = TlsAlloc();
  ASSERT_NE(again, kInvalidSlot);
  EXPECT_EQ(again, slot);  // the lowest free slot, as on Windows
  EXPECT_EQ(TlsGetValue(again), nullptr);
  EXPECT_TRUE(TlsFree(again));
}

TEST(ThreadSlots, InvalidSlotIsRefused) {
  SetLastError(0);
  EXPECT_EQ(TlsGetValue(kInvalidSlot), nullptr);
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_FALSE(TlsSetValue(kInvalidSlot, nullptr));
  EXPECT_FALSE(TlsFree(kInvalidSlot));
}

// What the detach handler saw, per ended thread.
struct Detached {
  uint64_t threadId;
  void* slotValue;
};
std::mutex g_detachedLock;
std::vector<Detached> g_detached;
uint32_t g_watchedSlot = kInvalidSlot;

void RecordDetach() {
  std::lock_guard<std::mutex> lock(g_detachedLock);
  g_detached.push_back({CurrentThreadId(), TlsGetValue(g_watchedSlot)});
}

class ThreadDetach : public ::testing::Test {
 protected:
  void SetUp() override {
    g_watchedSlot = TlsAlloc();
    ASSERT_NE(g_watchedSlot, kInvalidSlot);
    std::lock_guard<std::mutex> lock(g_detachedLock);
    g_detached.clear();
    previous_ = SetThreadDetachHandler(&RecordDetach);
  }
  void TearDown() override {
    SetThreadDetachHandler(previous_);
    TlsFree(g_watchedSlot);
  }
  ThreadDetachHandler previous_ = nullptr;
  std::vector<Detached> detached() {
    std::lock_guard<std::mutex> lock(g_detachedLock);
    return g_detached;
  }
};

TEST_F(ThreadDetach, HandlerRunsOnExitOfAnnouncedThreadAndSeesItsSlots) {
  int state = 0;
  uint64_t id = 0;
  std::thread([&] {
    id = CurrentThreadId();
    TlsSetValue(g_watchedSlot, &state);
    AnnounceThread();
  }).join();
  const auto seen = detached();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].threadId, id);
  EXPECT_EQ(seen[0].slotValue, &state);
}

TEST_F(ThreadDetach, UnannouncedThreadsAreNotReported) {
  std::thread([] { TlsSetValue(g_watchedSlot, &g_watchedSlot); }).join();
  EXPECT_TRUE(detached().empty());
}

TEST_F(ThreadDetach, AnnouncingTwiceReportsOnce) {
  std::thread([] {
    AnnounceThread();
    AnnounceThread();
  }).join();
  EXPECT_EQ(detached().size(), 1u);
}

TEST_F(ThreadDetach, EachThreadReportsItsOwnState) {
  std::vector<int> states(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < states.size(); ++i)
    threads.emplace_back([&, i] {
      TlsSetValue(g_watchedSlot, &states[i]);
      AnnounceThread();
    });
  for (auto& t : threads) t.join();
  std::set<void*> values;
  for (const Detached& d : detached()) values.insert(d.slotValue);
  EXPECT_EQ(values, (std::set<void*>{&states[0], &states[1], &states[2], &states[3]}));
}

TEST_F(ThreadDetach, NoHandlerMeansNothingRuns) {
  SetThreadDetachHandler(nullptr);
  std::thread([] { AnnounceThread(); }).join();
  EXPECT_TRUE(detached().empty());
}

TEST_F(ThreadDetach, HandlerTouchingStateDoesNotRunAgain) {
  static std::atomic<int> runs{0};
  runs = 0;
  SetThreadDetachHandler(+[] {
    ++runs;
    AnnounceThread();  // as state made again during release would
  });
  std::thread([] { AnnounceThread(); }).join();
  EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace tw::platform

// Thread-local slots and the thread-detach handler.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "platform/last_error.h"
#include "platform/mutex.h"
#include "platform/thread_slots.h"

namespace tw::platform {
namespace {

TEST(ThreadSlots, ValuesArePerThreadAndFreedOrInvalidSlotsAreRefused) {
  const uint32_t slot = TlsAlloc(), spare = TlsAlloc();
  ASSERT_TRUE(slot != kInvalidSlot && spare != kInvalidSlot && slot != spare);
  int mine = 1;
  ASSERT_TRUE(TlsSetValue(slot, &mine));
  void* there = &mine;
  std::thread([&] { there = TlsGetValue(slot); }).join();
  EXPECT_EQ(there, nullptr);
  EXPECT_EQ(TlsGetValue(slot), &mine);
  ASSERT_TRUE(TlsFree(slot));
  for (uint32_t bad : {slot, kInvalidSlot}) {
    EXPECT_FALSE(TlsSetValue(bad, &mine) || TlsFree(bad)) << bad;
    EXPECT_EQ(GetLastError(), kErrorInvalidParameter) << bad;
    EXPECT_EQ(TlsGetValue(bad), nullptr) << bad;
  }
  EXPECT_EQ(GetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(TlsAlloc(), slot);  // the lowest free slot, as on Windows, and empty though we had set it
  EXPECT_EQ(TlsGetValue(slot), nullptr);
  EXPECT_EQ(GetLastError(), kErrorSuccess);  // a stored null, not a failure
  EXPECT_TRUE(TlsFree(slot) && TlsFree(spare));
}

std::multiset<std::pair<uint64_t, void*>> g_detached;  // thread id and slot value, as the handler saw them
uint32_t g_slot = kInvalidSlot;
void RecordDetach() {
  g_detached.insert({CurrentThreadId(), TlsGetValue(g_slot)});
  AnnounceThread();  // as thread state made again during the release would: no second run
}

TEST(ThreadDetach, HandlerRunsOnceForEachAnnouncedThreadAndSeesItsSlots) {
  g_slot = TlsAlloc();
  g_detached.clear();
  const ThreadDetachHandler previous = SetThreadDetachHandler(&RecordDetach);
  int states[3] = {};
  std::multiset<std::pair<uint64_t, void*>> expected;
  for (int& state : states)
    std::thread([&] {
      TlsSetValue(g_slot, &state);
      AnnounceThread();
      AnnounceThread();  // twice: still one run
      expected.insert({CurrentThreadId(), &state});
    }).join();
  std::thread([] { TlsSetValue(g_slot, &g_slot); }).join();  // never announced: not reported
  EXPECT_EQ(g_detached, expected);
  SetThreadDetachHandler(nullptr);
  std::thread(AnnounceThread).join();  // no handler: nothing runs
  EXPECT_EQ(g_detached.size(), 3u);
  SetThreadDetachHandler(previous);
  TlsFree(g_slot);
}

}  // namespace
}  // namespace tw::platform

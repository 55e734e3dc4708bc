// Thread-local slots and the thread-detach handler.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "platform/last_error.h"
#include "platform/mutex.h"
#include "platform/thread_slots.h"

namespace tw::platform {
namespace {

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

#include "frame/library_lifecycle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "frame/seams.h"
#include "frame/thread_state.h"
#include "support/test_support.h"

namespace tw {
namespace {

std::atomic<int> g_cacheReleases{0};
std::atomic<int> g_directReleases{0};
std::atomic<int> g_itemClears{0};
std::atomic<int> g_listsDestroyed{0};
std::atomic<int> g_remoteCloses{0};
std::atomic<int> g_notifyLoads{0};
std::atomic<int> g_notifyUnloads{0};

class FrameLifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto* counter : {&g_cacheReleases, &g_directReleases, &g_itemClears, &g_listsDestroyed, &g_remoteCloses,
                          &g_notifyLoads, &g_notifyUnloads})
      *counter = 0;
    FrameSeams& s = Seams();
    s.releaseThreadIndexWithReset = [](TLSStoreIndex&) { ++g_cacheReleases; };
    s.releaseOpenIndex = [](TLSStoreIndex&) { ++g_directReleases; };
    s.clearCurrentItem = [](TLSStoreIndex&) { ++g_itemClears; };
    s.destroyFolderList = [](void*) { ++g_listsDestroyed; };
    s.closeRemoteConnection = [] { ++g_remoteCloses; };
    s.loadNotificationLibrary = [] { ++g_notifyLoads; };
    s.unloadNotificationLibrary = [] { ++g_notifyUnloads; };
    ASSERT_EQ(StoreLibraryInit(), 1u);
    StoreLibrarySetAffinity(1);
  }
  void TearDown() override {
    StoreLibraryThreadRelease();
    Seams() = FrameSeams{};
    StoreLibrarySetAffinity(1);
  }
  test::ScopedRegistry registry_{""};
};

TEST_F(FrameLifecycle, InitLoadsNotificationsAndCreatesTheCacheLocks) {
  EXPECT_EQ(g_notifyLoads, 1);
  EXPECT_NE(IndexOpenLock(), nullptr);
  EXPECT_NE(IndexCacheLock(), nullptr);
  EXPECT_EQ(StoreLibraryInit(), 1u) << "a host may start the library again";
}

// With affinity (1) a thread's release gives its index back to the cache;
// shared (0) it stays with the thread. Folder lists go either way.
TEST_F(FrameLifecycle, ThreadReleaseFollowsTheAffinity) {
  for (uint32_t affinity : {1u, 0u}) {
    SCOPED_TRACE(affinity);
    g_cacheReleases = g_listsDestroyed = 0;
    StoreLibrarySetAffinity(affinity);
    TLSStoreIndex* state = ThreadStoreIndex();
    ASSERT_NE(state, nullptr);
    ThreadFolderSearchTable()->lists = {reinterpret_cast<void*>(1), reinterpret_cast<void*>(2)};
    EXPECT_EQ(StoreLibraryThreadRelease(), 1u);
    EXPECT_EQ(g_cacheReleases, static_cast<int>(affinity));
    EXPECT_EQ(g_listsDestroyed, 2);
    EXPECT_EQ(ExistingThreadStoreIndex(), affinity ? nullptr : state);
  }
}

TEST_F(FrameLifecycle, UnInitReleasesTheCallingThreadsIndexAndClosesTheOpenLock) {
  ThreadStoreIndex();
  EXPECT_EQ(StoreLibraryUnInit(), 1u);
  EXPECT_EQ(g_itemClears, 1);
  EXPECT_EQ(g_directReleases, 1);
  EXPECT_EQ(g_cacheReleases, 0) << "shut-down does not consult the index cache";
  EXPECT_EQ(g_remoteCloses, 1);
  EXPECT_EQ(g_notifyUnloads, 1);
  EXPECT_EQ(IndexOpenLock(), nullptr);
  EXPECT_NE(IndexCacheLock(), nullptr);
  EXPECT_NE(EnsureIndexOpenLock(), nullptr);
}

// A thread that ends releases what it made, by the same rule; a folder
// table alone is not leaked either.
TEST_F(FrameLifecycle, ThreadsGetStateOnFirstUseAndReleaseItWhenTheyEnd) {
  for (uint32_t affinity : {1u, 0u}) {
    SCOPED_TRACE(affinity);
    g_cacheReleases = g_listsDestroyed = 0;
    StoreLibrarySetAffinity(affinity);
    TLSStoreIndex* seen = nullptr;
    std::thread([&] {
      seen = ThreadStoreIndex();
      ASSERT_NE(seen, nullptr);
      EXPECT_EQ(seen->items, nullptr);
      EXPECT_EQ(seen->openIndex, nullptr);
      ThreadFolderSearchTable()->lists = {reinterpret_cast<void*>(1)};
    }).join();
    std::thread([] { ThreadFolderSearchTable()->lists = {reinterpret_cast<void*>(1)}; }).join();
    EXPECT_NE(seen, ExistingThreadStoreIndex()) << "each thread has its own state";
    EXPECT_EQ(g_cacheReleases, static_cast<int>(affinity));
    EXPECT_EQ(g_listsDestroyed, 2);
  }
}

}  // namespace
}  // namespace tw

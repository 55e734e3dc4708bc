#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "common/exception.h"
#include "index/locking/mutex_lock.h"

namespace tw {
namespace {

enum class Other { None, Holds, Abandoned };

// Another thread that holds the mutex until destroyed, or ended holding it.
class OtherThread {
 public:
  OtherThread(MutexHandle mutex, Other what) {
    if (what == Other::None) return;
    std::promise<void> held;
    auto heldFuture = held.get_future();
    thread_ = std::thread([this, mutex, what, held = std::move(held)]() mutable {
      mutex->Wait();
      held.set_value();
      if (what == Other::Abandoned) return;
      release_.get_future().wait();
      mutex->Release();
    });
    heldFuture.wait();
    if (what == Other::Abandoned) thread_.join();
  }
  ~OtherThread() {
    if (!thread_.joinable()) return;
    release_.set_value();
    thread_.join();
  }

 private:
  std::promise<void> release_;
  std::thread thread_;
};

bool FreeForOthers(MutexHandle mutex) {
  return std::async(std::launch::async, [mutex] {
           if (mutex->Wait(0) != platform::WaitResult::Acquired) return false;
           return mutex->Release();
         }).get();
}

TEST(IndexMutexLockTest, ResultsAndWhatTheDestructorReleases) {
  const struct {
    Other other;
    bool noHandle;
    int32_t state;
    bool heldAfterwards;  // an abandoned wait is not released
  } cases[] = {{Other::None, true, kLockFailed, false},
               {Other::None, false, kLockAcquired, false},
               {Other::Holds, false, kLockTimedOut, false},
               {Other::Abandoned, false, kLockAbandoned, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    Mutex mutex("test");
    {
      OtherThread other(mutex.Handle(), c.other);
      MutexLock lock(c.noHandle ? nullptr : mutex.Handle(), 0);
      EXPECT_EQ(lock.State(), c.state);
    }
    EXPECT_EQ(FreeForOthers(mutex.Handle()), !c.heldAfterwards);
    if (c.heldAfterwards) mutex.Handle()->Release();
  }
}

TEST(IndexMutexLockTest, StoreIndexLockMarksItsOwner) {
  Mutex mutex("index");
  StoreIndexLockFields record{mutex.Handle(), 0};
  {
    StoreIndexMutexLock lock(&record);
    EXPECT_EQ(record.ownerThread, platform::CurrentThreadId());
    EXPECT_FALSE(FreeForOthers(mutex.Handle()));
  }
  EXPECT_EQ(record.ownerThread, 0u);
  EXPECT_TRUE(FreeForOthers(mutex.Handle()));
}

TEST(IndexMutexLockTest, xMutexLockThrowsItsTexts) {
  Mutex mutex("x");
  const std::string handle = MutexHandleText(mutex.Handle());
  const struct {
    Other other;
    bool releaseEarly;  // leaves the destructor nothing to release
    std::string message;
    int line;
  } cases[] = {
      {Other::Holds, false, "Failed to lock mutex " + handle + ": request timed out", 71},
      {Other::Abandoned, false, "Mutex " + handle + " was abandoned by another thread", 78},
      {Other::None, true, "Failed to unlock mutex " + handle + " with error 288", 127},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    OtherThread other(mutex.Handle(), c.other);
    try {
      xMutexLock lock(mutex.Handle(), 0);
      if (c.releaseEarly) mutex.Handle()->Release();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
      EXPECT_EQ(e.SourceModule(), "common\\xMutexLock");
      EXPECT_EQ(e.Line(), c.line);
      if (c.other == Other::Abandoned) mutex.Handle()->Release();  // the wait took it
      continue;
    }
    ADD_FAILURE() << "no exception";
  }
  { xMutexLock none(nullptr, 0); }
  EXPECT_TRUE(FreeForOthers(mutex.Handle()));
}

}  // namespace
}  // namespace tw

// Scoped locks on process-local mutexes: the constructor locks, the
// destructor unlocks.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/mutex.h"

namespace tw {

using MutexHandle = platform::RecursiveMutex*;

// Lock results.
inline constexpr int32_t kLockFailed = 0;
inline constexpr int32_t kLockAcquired = 1;
inline constexpr int32_t kLockTimedOut = 2;
inline constexpr int32_t kLockAbandoned = 3;

template <typename Handle>
class IMutexLock {
 public:
  virtual int32_t lock() = 0;
  virtual bool unlock() = 0;

 protected:
  ~IMutexLock() = default;
};

// Never throws: the lock result stays in State() for the caller.
class MutexLock : public IMutexLock<MutexHandle> {
 public:
  static constexpr int32_t kNotLocked = -1;
  static constexpr int32_t kUnlocked = -2;

  MutexLock(MutexHandle mutex, uint32_t timeoutMilliseconds, bool autoRelease = true);
  virtual ~MutexLock();
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  int32_t lock() override;
  bool unlock() override;
  int32_t State() const { return state_; }

 private:
  MutexHandle mutex_;
  uint32_t timeout_;
  int32_t state_ = kNotLocked;
  bool autoRelease_;
};

// The part of an open store index record that its lock uses.
struct StoreIndexLockFields {
  MutexHandle mutex = nullptr;
  uint64_t ownerThread = 0;
};

// Locks a store index record without limit and marks the calling thread as
// its owner while held.
class StoreIndexMutexLock {
 public:
  explicit StoreIndexMutexLock(StoreIndexLockFields* record);
  virtual ~StoreIndexMutexLock();
  StoreIndexMutexLock(const StoreIndexMutexLock&) = delete;
  StoreIndexMutexLock& operator=(const StoreIndexMutexLock&) = delete;

  int32_t State() const { return lock_.State(); }

 private:
  MutexLock lock_;
  StoreIndexLockFields* record_;
};

inline constexpr const char* kXMutexLockModule = "common\\xMutexLock";

// Throws Exception for every failure: lines 71 (time-out), 78 (abandoned),
// 86 (wait failed), 127 (release failed, from the destructor).
class xMutexLock {
 public:
  xMutexLock(MutexHandle mutex, uint32_t timeoutMilliseconds);
  virtual ~xMutexLock() noexcept(false);
  xMutexLock(const xMutexLock&) = delete;
  xMutexLock& operator=(const xMutexLock&) = delete;

 private:
  MutexHandle mutex_;
  uint32_t timeout_;
};

// A process-local mutex with a label kept only as text.
class Mutex {
 public:
  explicit Mutex(std::string label);
  virtual ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  MutexHandle Handle() const { return handle_.get(); }
  const std::string& Label() const { return label_; }

 private:
  std::string label_;
  std::unique_ptr<platform::RecursiveMutex> handle_;
};

// The handle as the lock texts print it.
std::string MutexHandleText(MutexHandle mutex);

}  // namespace tw

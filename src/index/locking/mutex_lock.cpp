#include "index/locking/mutex_lock.h"

#include <cstdio>
#include <exception>

#include "common/exception.h"
#include "platform/last_error.h"

namespace tw {
namespace {

int32_t WaitOn(MutexHandle mutex, uint32_t timeout) {
  if (mutex == nullptr) return kLockFailed;
  switch (mutex->Wait(timeout)) {
    case platform::WaitResult::Acquired:
      return kLockAcquired;
    case platform::WaitResult::Abandoned:
      return kLockAbandoned;
    case platform::WaitResult::TimedOut:
      return kLockTimedOut;
    default:
      return kLockFailed;
  }
}

}  // namespace

std::string MutexHandleText(MutexHandle mutex) {
  char text[32];
  std::snprintf(text, sizeof(text), "%p", static_cast<void*>(mutex));
  return text;
}

MutexLock::MutexLock(MutexHandle mutex, uint32_t timeoutMilliseconds, bool autoRelease)
    : mutex_(mutex), timeout_(timeoutMilliseconds), autoRelease_(autoRelease) {
  lock();
}

MutexLock::~MutexLock() {
  // An abandoned wait is not released here.
  if (autoRelease_ && state_ == kLockAcquired) unlock();
}

int32_t MutexLock::lock() {
  state_ = WaitOn(mutex_, timeout_);
  return state_;
}

bool MutexLock::unlock() {
  if (mutex_ == nullptr || !mutex_->Release()) return false;
  state_ = kUnlocked;
  return true;
}

StoreIndexMutexLock::StoreIndexMutexLock(StoreIndexLockFields* record)
    : lock_(record != nullptr ? record->mutex : nullptr, platform::kInfinite, true), record_(record) {
  if (record_ != nullptr) record_->ownerThread = platform::CurrentThreadId();
}

StoreIndexMutexLock::~StoreIndexMutexLock() {
  if (record_ != nullptr) record_->ownerThread = 0;
}

xMutexLock::xMutexLock(MutexHandle mutex, uint32_t timeoutMilliseconds) : mutex_(mutex), timeout_(timeoutMilliseconds) {
  if (mutex_ == nullptr) return;
  const int32_t result = WaitOn(mutex_, timeout_);
  if (result == kLockAcquired) return;
  const std::string handle = MutexHandleText(mutex_);
  if (result == kLockTimedOut)
    throw Exception("Failed to lock mutex " + handle + ": request timed out", kXMutexLockModule, 71);
  if (result == kLockAbandoned)
    throw Exception("Mutex " + handle + " was abandoned by another thread", kXMutexLockModule, 78);
  throw Exception("Failed to lock mutex " + handle + " with error " + std::to_string(platform::GetLastError()),
                  kXMutexLockModule, 86);
}

xMutexLock::~xMutexLock() noexcept(false) {
  if (mutex_ == nullptr || mutex_->Release()) return;
  // Throwing while another exception unwinds would end the process.
  if (std::uncaught_exceptions() > 0) return;
  throw Exception("Failed to unlock mutex " + MutexHandleText(mutex_) + " with error " +
                      std::to_string(platform::GetLastError()),
                  kXMutexLockModule, 127);
}

Mutex::Mutex(std::string label) : label_(std::move(label)), handle_(std::make_unique<platform::RecursiveMutex>()) {}

Mutex::~Mutex() = default;

}  // namespace tw

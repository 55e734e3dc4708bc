#include "platform/mutex.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <new>

#include "platform/last_error.h"

namespace tw::platform {
namespace {

constexpr uint32_t kErrorNotOwner = 288;

timespec DeadlineAfter(uint32_t milliseconds) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  int64_t nanoseconds = now.tv_nsec + static_cast<int64_t>(milliseconds % 1000) * 1000000;
  timespec deadline{};
  deadline.tv_sec = now.tv_sec + static_cast<time_t>(milliseconds / 1000) + static_cast<time_t>(nanoseconds / 1000000000);
  deadline.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
  return deadline;
}

}  // namespace

struct RecursiveMutex::State {
  pthread_mutex_t mutex;
  bool initialised = false;
  // The holder and its depth, so that a release by another thread is
  // refused before it reaches the mutex (unlocking a mutex one does not
  // hold is undefined for some mutex kinds).
  std::atomic<uint64_t> owner{0};
  uint32_t depth = 0;
};

// Under the mutex just taken.
void RecursiveMutex::NoteHeld(State& state) {
  const uint64_t self = CurrentThreadId();
  if (state.owner.load(std::memory_order_relaxed) == self) {
    ++state.depth;
  } else {
    state.owner.store(self, std::memory_order_relaxed);
    state.depth = 1;
  }
}

RecursiveMutex::RecursiveMutex() : state_(new State) {
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) return;
  // Re-entrant for the holder, and robust so that a thread that ends while
  // holding it leaves it "abandoned" instead of locked for ever.
  const bool configured = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0 &&
                          pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0;
  if (configured && pthread_mutex_init(&state_->mutex, &attributes) == 0) state_->initialised = true;
  pthread_mutexattr_destroy(&attributes);
}

RecursiveMutex::~RecursiveMutex() {
  if (state_ && state_->initialised) pthread_mutex_destroy(&state_->mutex);
}

WaitResult RecursiveMutex::Wait(uint32_t timeoutMilliseconds) {
  if (!state_->initialised) {
    SetLastError(kErrorInvalidHandle);
    return WaitResult::Failed;
  }
  int rc;
  if (timeoutMilliseconds == kInfinite) {
    rc = pthread_mutex_lock(&state_->mutex);
  } else if (timeoutMilliseconds == 0) {
    rc = pthread_mutex_trylock(&state_->mutex);
    if (rc == EBUSY) rc = ETIMEDOUT;
  } else {
    const timespec deadline = DeadlineAfter(timeoutMilliseconds);
    rc = pthread_mutex_clocklock(&state_->mutex, CLOCK_MONOTONIC, &deadline);
  }
  switch (rc) {
    case 0:
      NoteHeld(*state_);
      return WaitResult::Acquired;
    case EOWNERDEAD:
      // We hold it now; mark it usable again so later waits succeed normally.
      pthread_mutex_consistent(&state_->mutex);
      state_->owner.store(0, std::memory_order_relaxed);
      NoteHeld(*state_);
      return WaitResult::Abandoned;
    case ETIMEDOUT:
      return WaitResult::TimedOut;
    default:
      SetLastError(rc == EINVAL ? kErrorInvalidParameter : ErrorFromErrno(rc));
      return WaitResult::Failed;
  }
}

bool RecursiveMutex::Release() {
  if (!state_->initialised) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (state_->owner.load(std::memory_order_relaxed) != CurrentThreadId()) {
    SetLastError(kErrorNotOwner);
    return false;
  }
  if (--state_->depth == 0) state_->owner.store(0, std::memory_order_relaxed);
  const int rc = pthread_mutex_unlock(&state_->mutex);
  if (rc == 0) return true;
  SetLastError(rc == EPERM ? kErrorNotOwner : ErrorFromErrno(rc));
  return false;
}

uint64_t CurrentThreadId() {
  // Asked on every record lock: one system call per thread, not per lock.
  thread_local const uint64_t id = static_cast<uint64_t>(gettid());
  return id;
}

}  // namespace tw::platform

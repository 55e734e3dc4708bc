// Process-local, unnamed mutexes: re-entrant for their holder, waitable with
// a time-out, and reporting "abandoned" when the owner thread ended without
// releasing (robust mutex).
#pragma once
#include <cstdint>
#include <memory>

namespace tw::platform {

inline constexpr uint32_t kInfinite = 0xFFFFFFFF;

enum class WaitResult : int32_t {
  Failed = 0,
  Acquired = 1,
  TimedOut = 2,
  Abandoned = 3,  // acquired, but the previous owner ended without releasing
};

class RecursiveMutex {
 public:
  RecursiveMutex();
  ~RecursiveMutex();
  RecursiveMutex(const RecursiveMutex&) = delete;
  RecursiveMutex& operator=(const RecursiveMutex&) = delete;

  WaitResult Wait(uint32_t timeoutMilliseconds = kInfinite);
  // False (last error 288, not owner) when the caller does not hold it.
  bool Release();

 private:
  struct State;
  static void NoteHeld(State& state);
  std::unique_ptr<State> state_;
};

// Numeric id of the calling thread (never 0), as written into lock-owner fields.
uint64_t CurrentThreadId();

}  // namespace tw::platform

#include "platform/write_cut.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "platform/last_error.h"

namespace tw::platform {
namespace {

struct Cut {
  std::mutex lock;
  uint64_t budget = 0;
  uint64_t used = 0;
  WriteCutAction action = WriteCutAction::Count;
};

std::atomic<bool> g_armed{false};

Cut& State() {
  static Cut* cut = new Cut;  // outlives static destruction
  return *cut;
}

}  // namespace

void ArmWriteCut(uint64_t budget, WriteCutAction action) {
  Cut& cut = State();
  std::lock_guard<std::mutex> guard(cut.lock);
  cut.budget = budget;
  cut.used = 0;
  cut.action = action;
  g_armed.store(true);
}

void DisarmWriteCut() { g_armed.store(false); }

uint64_t WriteCutUnitsUsed() {
  Cut& cut = State();
  std::lock_guard<std::mutex> guard(cut.lock);
  return cut.used;
}

namespace detail {

size_t AllowedWriteBytes(size_t size) {
  if (!g_armed.load(std::memory_order_relaxed)) return size;
  Cut& cut = State();
  std::lock_guard<std::mutex> guard(cut.lock);
  if (cut.action == WriteCutAction::Count) {
    cut.used += size;
    return size;
  }
  const uint64_t left = cut.budget > cut.used ? cut.budget - cut.used : 0;
  const size_t allowed = left < size ? static_cast<size_t>(left) : size;
  cut.used += allowed;
  return allowed;
}

uint32_t WriteCutReached() {
  Cut& cut = State();
  std::lock_guard<std::mutex> guard(cut.lock);
  if (cut.action == WriteCutAction::Exit) std::_Exit(kWriteCutExitCode);
  return cut.action == WriteCutAction::Stop ? kErrorWriteProtect : kErrorDiskFull;
}

bool AllowFileChange() {
  if (!g_armed.load(std::memory_order_relaxed)) return true;
  Cut& cut = State();
  std::lock_guard<std::mutex> guard(cut.lock);
  if (cut.action == WriteCutAction::Fail) return true;
  if (cut.action != WriteCutAction::Count && cut.used >= cut.budget) {
    if (cut.action == WriteCutAction::Exit) std::_Exit(kWriteCutExitCode);
    SetLastError(kErrorWriteProtect);
    return false;
  }
  ++cut.used;
  return true;
}

}  // namespace detail
}  // namespace tw::platform

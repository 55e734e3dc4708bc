#include "index/locking/block_wait.h"

#include "platform/sleep.h"

namespace tw {

bool SecondPassedWhileBlocked(const std::string& path) { return !platform::SleepUntilRemoved(path, 1000); }

}  // namespace tw

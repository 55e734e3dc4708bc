// The one sleep of the library. Every counted wait (retries, block-file
// waits) sleeps through here so that tests can install a fast sleep.
#pragma once
#include <cstdint>
#include <string>

namespace tw::platform {

using SleepFunction = void (*)(uint32_t milliseconds);

void Sleep(uint32_t milliseconds);

// Installs a replacement; nullptr restores the real sleep. Returns the
// previous replacement (nullptr for the real one).
SleepFunction SetSleepFunction(SleepFunction replacement);

// Sleeps like Sleep(), but may end early once `path` no longer exists:
// inotify on the parent directory where it works, plus a short poll for
// removals made by other hosts. Returns true when the file is gone. With a
// test sleep installed it just calls that sleep once.
bool SleepUntilRemoved(const std::string& path, uint32_t milliseconds);

}  // namespace tw::platform

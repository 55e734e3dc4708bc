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

// Sleeps like Sleep(), but may end early once the file at `path` is gone:
// inotify on the parent directory where it works, plus a short poll for
// removals made by other hosts. Returns true when the file that was there
// is gone, also when another file has taken its name since (a block
// released and taken again). With a test sleep installed it just calls that
// sleep once.
bool SleepUntilRemoved(const std::string& path, uint32_t milliseconds);

}  // namespace tw::platform

// Process handling of a forking service: one child per connection, reaped
// by the single-threaded parent, each child's work bounded by an alarm, and
// an identity that cannot be taken back once dropped.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tw::platform {

// fork(): the child's id in the parent, 0 in the child (whose SIGINT and
// SIGTERM are back to ending it), -1 when no process could be made.
int64_t StartChild();
// Collects every child that has ended, without waiting; their ids.
std::vector<int64_t> ReapChildren();
// Asks a child this process started to end (SIGTERM).
void StopChild(int64_t pid);
// Ends the calling child at once, without the parent's exit handlers.
[[noreturn]] void EndChild(int code);

// Ends the process when `seconds` pass before the next call (0: never); a
// call that hangs must not hold its connection for ever.
void SetProcessDeadline(uint32_t seconds);

bool EffectiveUserIsRoot();
// Makes the effective user and group the real and saved ones too, so root
// cannot be taken back. False with the reason when the system refuses.
bool KeepEffectiveIdentity(std::string& why);

}  // namespace tw::platform

// The counted one-second wait of the block-file protocols.
#pragma once
#include <string>

namespace tw {

// Sleeps up to 1000 ms, ending early when the block file at `path` goes.
// True when the whole second passed with the same block in place: only such
// seconds count towards breaking a block or giving up. A block that was
// released (and perhaps taken again by another waiter) has a live holder,
// and a busy folder must not be broken into, nor its waiters turned away,
// merely because many processes take turns at it.
bool SecondPassedWhileBlocked(const std::string& path);

}  // namespace tw

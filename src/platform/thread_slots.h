// Thread-local slots (TlsAlloc and friends) and the thread-detach callback.
// Linux has no loader notification for threads: the detach handler runs from
// a thread-exit destructor for threads that announced themselves.
#pragma once
#include <cstdint>

namespace tw::platform {

inline constexpr uint32_t kInvalidSlot = 0xFFFFFFFF;

uint32_t TlsAlloc();  // kInvalidSlot when none is left
bool TlsFree(uint32_t slot);
void* TlsGetValue(uint32_t slot);
bool TlsSetValue(uint32_t slot, void* value);

using ThreadDetachHandler = void (*)();
// The handler runs once when a thread that called AnnounceThread() ends.
// Returns the handler it replaces.
ThreadDetachHandler SetThreadDetachHandler(ThreadDetachHandler handler);
void AnnounceThread();
}  // namespace tw::platform

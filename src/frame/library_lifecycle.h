// Start-up and shut-down of the library, and the per-thread release.
#pragma once
#include <cstdint>

namespace tw {

namespace platform {
class RecursiveMutex;
}

// Process attach: loads the sibling providers, then StoreLibraryInit().
// False when the library cannot be used.
bool ProcessAttach();
// Process detach: StoreLibraryUnInit(), then unloads the providers.
void ProcessDetach();

uint32_t StoreLibraryInit();
uint32_t StoreLibraryUnInit();
uint32_t StoreLibraryThreadRelease();
uint32_t StoreLibrarySetAffinity(uint32_t mode);

// The two process-local locks of the index cache; nullptr while absent.
platform::RecursiveMutex* IndexOpenLock();
platform::RecursiveMutex* IndexCacheLock();
// Create the lock when it is absent (IndexOpenLock after a shut-down closed
// it); nullptr when there is no memory for it.
platform::RecursiveMutex* EnsureIndexOpenLock();
platform::RecursiveMutex* EnsureIndexCacheLock();

}  // namespace tw

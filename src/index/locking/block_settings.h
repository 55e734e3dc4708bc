// Registry values that tune the block files. Each is read by its own rule:
// once per process (cached behind the 0xFFFFFFFF "not read yet" sentinel),
// on every use, or until a non-zero value has been read.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

namespace tw {

inline constexpr uint32_t kNotReadYet = 0xFFFFFFFF;

// The DWORD value, or `fallback` when it is missing.
uint32_t ReadDwordOrDefault(const std::string& key, const char* name, uint32_t fallback);
// The value cached in `cache` on its first read (concurrent first reads
// store the same value, so no lock is needed).
uint32_t ReadDwordOnce(std::atomic<uint32_t>& cache, const std::string& key, const char* name, uint32_t fallback);

// Read on every use.
uint32_t ReadWaitTimeout();   // "Read Wait Timeout", seconds, default 60
uint32_t ApplyTimeout();      // "Apply Timeout", retries, default 20
uint32_t WriteWaitTimeout();  // "Write Wait Timeout", seconds, default 80
uint32_t UnBlockTimeout();    // "UnBlock Timeout", retries, default 80

// Read once per process.
uint32_t IndexUnblockMode();              // "Index Unblock Mode", default 0
uint32_t BlockFileMode();                 // "Block File Mode", default 0
uint32_t StoreNotificationWaitTimeout();  // "Store Notification Wait Timeout", default 100

// Read until a non-zero value has been read; default 0xFFFFFFFF.
uint32_t NotifyClientsTimeOut();

// Forgets the cached values so that the next use reads the registry again.
void ResetBlockSettingsCache();

}  // namespace tw

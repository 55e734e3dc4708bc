#include "index/block_settings.h"

#include <atomic>
#include <string>

#include "frame/registry_access.h"

namespace tw {
namespace {

std::string ProvidersKey() { return std::string(kRegistryRoot) + "\\Providers"; }

uint32_t ReadOrDefault(const std::string& key, const char* name, uint32_t fallback) {
  uint32_t value = fallback;
  if (ReadRegistryDword(key, name, &value) == 0) value = fallback;
  return value;
}

// Concurrent first reads store the same value, so no lock is needed.
std::atomic<uint32_t> g_indexUnblockMode{kNotReadYet};
std::atomic<uint32_t> g_blockFileMode{kNotReadYet};
std::atomic<uint32_t> g_storeNotificationWait{kNotReadYet};
std::atomic<uint32_t> g_notifyClientsTimeOut{0};

uint32_t ReadOnce(std::atomic<uint32_t>& cache, const std::string& key, const char* name, uint32_t fallback) {
  uint32_t value = cache.load(std::memory_order_relaxed);
  if (value == kNotReadYet) {
    value = ReadOrDefault(key, name, fallback);
    cache.store(value, std::memory_order_relaxed);
  }
  return value;
}

}  // namespace

uint32_t ReadWaitTimeout() { return ReadOrDefault(ProvidersKey(), "Read Wait Timeout", 60); }
uint32_t ApplyTimeout() { return ReadOrDefault(ProvidersKey(), "Apply Timeout", 20); }
uint32_t WriteWaitTimeout() { return ReadOrDefault(ProvidersKey(), "Write Wait Timeout", 80); }
uint32_t UnBlockTimeout() { return ReadOrDefault(ProvidersKey(), "UnBlock Timeout", 80); }

uint32_t IndexUnblockMode() { return ReadOnce(g_indexUnblockMode, ProvidersKey(), "Index Unblock Mode", 0); }
uint32_t BlockFileMode() { return ReadOnce(g_blockFileMode, kRegistryRoot, "Block File Mode", 0); }
uint32_t StoreNotificationWaitTimeout() {
  return ReadOnce(g_storeNotificationWait, ProvidersKey(), "Store Notification Wait Timeout", 100);
}

uint32_t NotifyClientsTimeOut() {
  uint32_t value = g_notifyClientsTimeOut.load(std::memory_order_relaxed);
  if (value == 0) {
    value = ReadOrDefault(kRegistryRoot, "Notify Clients TimeOut", 0xFFFFFFFF);
    g_notifyClientsTimeOut.store(value, std::memory_order_relaxed);
  }
  return value;
}

void ResetBlockSettingsCache() {
  g_indexUnblockMode = kNotReadYet;
  g_blockFileMode = kNotReadYet;
  g_storeNotificationWait = kNotReadYet;
  g_notifyClientsTimeOut = 0;
}

}  // namespace tw

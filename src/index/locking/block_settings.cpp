#include "index/locking/block_settings.h"

#include <atomic>
#include <string>

#include "frame/registry_access.h"

namespace tw {
namespace {

std::string ProvidersKey() { return kProvidersKey; }

std::atomic<uint32_t> g_indexUnblockMode{kNotReadYet};
std::atomic<uint32_t> g_blockFileMode{kNotReadYet};
std::atomic<uint32_t> g_storeNotificationWait{kNotReadYet};
std::atomic<uint32_t> g_notifyClientsTimeOut{0};

}  // namespace

uint32_t ReadDwordOrDefault(const std::string& key, const char* name, uint32_t fallback) {
  uint32_t value = fallback;
  if (ReadRegistryDword(key, name, &value) == 0) value = fallback;
  return value;
}

uint32_t ReadDwordOnce(std::atomic<uint32_t>& cache, const std::string& key, const char* name, uint32_t fallback) {
  uint32_t value = cache.load(std::memory_order_relaxed);
  if (value == kNotReadYet) {
    value = ReadDwordOrDefault(key, name, fallback);
    cache.store(value, std::memory_order_relaxed);
  }
  return value;
}

uint32_t ReadWaitTimeout() { return ReadDwordOrDefault(ProvidersKey(), "Read Wait Timeout", 60); }
uint32_t ApplyTimeout() { return ReadDwordOrDefault(ProvidersKey(), "Apply Timeout", 20); }
uint32_t WriteWaitTimeout() { return ReadDwordOrDefault(ProvidersKey(), "Write Wait Timeout", 80); }
uint32_t UnBlockTimeout() { return ReadDwordOrDefault(ProvidersKey(), "UnBlock Timeout", 80); }

uint32_t IndexUnblockMode() { return ReadDwordOnce(g_indexUnblockMode, ProvidersKey(), "Index Unblock Mode", 0); }
uint32_t BlockFileMode() { return ReadDwordOnce(g_blockFileMode, kRegistryRoot, "Block File Mode", 0); }
uint32_t StoreNotificationWaitTimeout() {
  return ReadDwordOnce(g_storeNotificationWait, ProvidersKey(), "Store Notification Wait Timeout", 100);
}

uint32_t NotifyClientsTimeOut() {
  uint32_t value = g_notifyClientsTimeOut.load(std::memory_order_relaxed);
  if (value == 0) {
    value = ReadDwordOrDefault(kRegistryRoot, "Notify Clients TimeOut", 0xFFFFFFFF);
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

#include "notify/notify_settings.h"

#include <atomic>

#include "frame/registry_access.h"
#include "index/locking/block_settings.h"

namespace tw {
namespace {
std::atomic<uint32_t> g_activityLockType{kNotReadYet};
std::atomic<uint32_t> g_searchIndexing{kNotReadYet};
constexpr uint32_t kDefaultNotifyPort = 4380;
constexpr uint32_t kDefaultNotifyTimeoutMs = 500;
constexpr uint32_t kMaxNotifyTimeoutMs = 600000;
}  // namespace

uint32_t ActivityLockType() { return ReadDwordOnce(g_activityLockType, kRegistryRoot, "Activity Lock Type", 0); }

uint32_t MailboxSearchIndexingEnabled() {
  return ReadDwordOnce(g_searchIndexing, kRegistryRoot, "Mailbox Search Indexing Enabled", 0);
}

uint16_t NotifyPort() {
  const uint32_t port = ReadDwordOrDefault(kProvidersKey, "Notify Port", kDefaultNotifyPort);
  return static_cast<uint16_t>(port == 0 || port > 0xFFFF ? kDefaultNotifyPort : port);
}

uint32_t NotifyTimeout() {
  const uint32_t ms = ReadDwordOrDefault(kProvidersKey, "Notify Timeout", kDefaultNotifyTimeoutMs);
  return ms == 0 || ms > kMaxNotifyTimeoutMs ? kDefaultNotifyTimeoutMs : ms;
}

platform::DeliveryTimeouts NotifyDeliveryTimeouts() {
  const uint32_t reply = NotifyTimeout();
  return {reply / 2, reply / 2, reply};
}

void ResetNotifySettingsCache() {
  g_activityLockType = kNotReadYet;
  g_searchIndexing = kNotReadYet;
}

}  // namespace tw

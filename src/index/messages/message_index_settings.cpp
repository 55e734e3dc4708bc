#include "index/messages/message_index_settings.h"

#include <atomic>

#include "frame/registry_access.h"
#include "index/locking/block_settings.h"

namespace tw {
namespace {

std::atomic<uint32_t> g_maximumIndexRows{kNotReadYet};
std::atomic<uint32_t> g_uidBranding{kNotReadYet};
std::atomic<uint32_t> g_multipartAlternative{kNotReadYet};

}  // namespace

uint32_t MaximumIndexRows() { return ReadDwordOnce(g_maximumIndexRows, kRegistryRoot, "Maximum Index Rows", 100000); }

uint32_t UidBrandingEnabled() { return ReadDwordOnce(g_uidBranding, kRegistryRoot, "UID Branding Enabled", 0); }

uint32_t MultipartAlternativeHasAttachments() {
  return ReadDwordOnce(g_multipartAlternative, kRegistryRoot, "Indexing Parses Multipart Alternative For Attachments",
                       0);
}

void ResetMessageIndexSettings() {
  g_maximumIndexRows = kNotReadYet;
  g_uidBranding = kNotReadYet;
  g_multipartAlternative = kNotReadYet;
}

}  // namespace tw

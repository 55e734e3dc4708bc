// The exported share call.
#include <cstdint>
#include <string>

#include "frame/event_report.h"
#include "services/shares/share_removal.h"
#include "twstore.h"

namespace {
constexpr const char* kSharesSource = "services\\shares\\ShareRemoval";
}

extern "C" {

uint32_t RemoveMailboxShares(const char* mailbox, const char* postoffice) {
  return tw::AtBoundary("RemoveMailboxShares", kSharesSource, __LINE__, 0u, [&]() -> uint32_t {
    if (mailbox == nullptr || postoffice == nullptr) return 0;
    return tw::RemoveMailboxShares(mailbox, postoffice) == 1 ? 1 : 0;
  });
}

}  // extern "C"

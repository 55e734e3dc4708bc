// The exported remote-administration call.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "frame/event_report.h"
#include "services/remote/remote_session.h"
#include "twstore.h"

namespace {
constexpr const char* kRemoteSource = "services\\remote\\RemoteSession";
// The longest name looked at: longer ones are cut to 1023 characters anyway.
constexpr size_t kHostScan = 1024;
}

extern "C" {

uint32_t SetCurrentHost(const char* host) {
  return tw::AtBoundary("SetCurrentHost", kRemoteSource, __LINE__, 0u, [&]() -> uint32_t {
    tw::remote::SetCurrentHost(host == nullptr ? std::string_view() : std::string_view(host, strnlen(host, kHostScan)));
    return 1;
  });
}

}  // extern "C"

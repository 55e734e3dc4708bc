// libtwnotify.so: the notification library's NotifyRemote. A listener on
// this server is reached through its protocol's Unix socket in the runtime
// directory; one on another server through TCP on that server's
// "Notify Port". The sockets themselves are the platform layer's.
#include <cstdint>
#include <string>

#include "common/text.h"
#include "notify/notify_settings.h"
#include "platform/notify_socket.h"
#include "platform/system_info.h"

namespace {

constexpr int kRefused = 87;

int Notify(const char* server, const char* protocol, const char* message) {
  if (server == nullptr || protocol == nullptr || message == nullptr) return kRefused;
  // Checked here too, so that another server's relay is never sent a
  // protocol it would refuse.
  const std::string path = tw::platform::NotifySocketPath(protocol);
  if (path.empty()) return kRefused;
  const tw::platform::DeliveryTimeouts timeouts = tw::NotifyDeliveryTimeouts();
  if (server[0] == '\0' || tw::EqualsNoCase(server, tw::platform::ComputerName()))
    return static_cast<int>(tw::platform::DeliverToUnixSocket(path, message, timeouts));
  return static_cast<int>(
      tw::platform::DeliverToTcp(server, tw::NotifyPort(), tw::ToLower(protocol), message, timeouts));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int NotifyRemote(const char* server, const char* protocol,
                                                                    const char* message) {
  try {
    return Notify(server, protocol, message);
  } catch (...) {
    return 1;
  }
}

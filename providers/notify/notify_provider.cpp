// libtwnotify.so: the notification library's NotifyRemote. A listener on
// this server is reached through its protocol's Unix socket in the runtime
// directory; one on another server through TCP on that server's
// "Notify Port". The sockets themselves are the platform layer's.
#include <cstdint>
#include <string>

#include "common/text.h"
#include "platform/notify_socket.h"
#include "platform/registry.h"
#include "platform/system_info.h"

namespace {

constexpr const char* kProvidersKey = "SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Providers";
constexpr uint16_t kDefaultPort = 4380;
constexpr size_t kMaxProtocol = 255;
constexpr int kRefused = 87;

uint16_t NotifyPort() {
  const auto value = tw::platform::RegistryGetValue(tw::platform::Hive::LocalMachine, kProvidersKey, "Notify Port");
  if (!value || value->type != tw::platform::RegistryType::Dword || value->number == 0 || value->number > 0xFFFF)
    return kDefaultPort;
  return static_cast<uint16_t>(value->number);
}

// A protocol names a file: letters, digits, "_" and "." only, never "." or "..".
bool UsableProtocol(const std::string& protocol) {
  if (protocol.empty() || protocol.size() > kMaxProtocol || protocol == "." || protocol == "..") return false;
  for (char c : protocol) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

int Notify(const char* server, const char* protocol, const char* message) {
  if (server == nullptr || protocol == nullptr || message == nullptr) return kRefused;
  const std::string name = tw::ToLower(protocol);
  if (!UsableProtocol(name)) return kRefused;
  const tw::platform::DeliveryTimeouts timeouts;
  if (server[0] == '\0' || tw::EqualsNoCase(server, tw::platform::ComputerName())) {
    const std::string path = tw::platform::NotifyRuntimeDirectory() + "/" + name + ".sock";
    return static_cast<int>(tw::platform::DeliverToUnixSocket(path, message, timeouts));
  }
  return static_cast<int>(tw::platform::DeliverToTcp(server, NotifyPort(), message, timeouts));
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

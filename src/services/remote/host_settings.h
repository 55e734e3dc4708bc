// Where the remote-administration hosts are configured: the registry under
// HKEY_CURRENT_USER (which the user's own file may supply).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw::remote {

inline constexpr uint16_t kDefaultPort = 8081;
inline constexpr std::string_view kDefaultHostName = "Default";

struct HostSettings {
  std::string address;
  uint16_t port = kDefaultPort;
  std::string credentials;  // cut to kAuthFieldLimit
  std::string protocol;     // cut to kAuthFieldLimit
};

// "ForceDefaultHost": with no current host, use the host named "Default".
bool ForceDefaultHost();

// The host's key; none without "Address" (such a host cannot be used) or
// with a "Port" outside 1..65535.
std::optional<HostSettings> ReadHostSettings(std::string_view host);

}  // namespace tw::remote

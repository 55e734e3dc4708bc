#include "services/remote/host_settings.h"

#include "platform/registry.h"
#include "services/remote/remote_messages.h"

namespace tw::remote {
namespace {

constexpr const char* kAdministrationKey = "SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick\\Administration";

using platform::Hive;
using platform::RegistryType;

std::string Text(const std::optional<platform::RegistryValue>& value) {
  if (!value || value->type != RegistryType::String) return {};
  return value->text.substr(0, kAuthFieldLimit);
}

}  // namespace

bool ForceDefaultHost() {
  const auto value = platform::RegistryGetValue(Hive::CurrentUser, kAdministrationKey, "ForceDefaultHost");
  return value && value->type == RegistryType::Dword && value->number != 0;
}

std::optional<HostSettings> ReadHostSettings(std::string_view host) {
  const std::string key = std::string(kAdministrationKey) + "\\Hosts\\" + std::string(host);
  const auto address = platform::RegistryGetValue(Hive::CurrentUser, key, "Address");
  if (!address || address->type != RegistryType::String || address->text.empty()) return std::nullopt;
  HostSettings settings;
  settings.address = address->text;
  if (const auto port = platform::RegistryGetValue(Hive::CurrentUser, key, "Port")) {
    if (port->type != RegistryType::Dword || port->number == 0 || port->number > 65535) return std::nullopt;
    settings.port = static_cast<uint16_t>(port->number);
  }
  // A secret: not taken from a user file others can read.
  settings.credentials = Text(platform::RegistryGetSecret(Hive::CurrentUser, key, "Credentials"));
  settings.protocol = Text(platform::RegistryGetValue(Hive::CurrentUser, key, "Authentication Protocol"));
  return settings;
}

}  // namespace tw::remote

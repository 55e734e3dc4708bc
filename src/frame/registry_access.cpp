#include "frame/registry_access.h"

#include "common/text.h"
#include "platform/registry.h"

namespace tw {

std::string RedirectTo32BitView(const std::string& keyPath) {
  static constexpr std::string_view kPlain = "Software\\Tarnwick";
  const size_t at = FindNoCase(keyPath, kPlain);
  if (at == std::string::npos) return keyPath;
  return keyPath.substr(0, at) + "Software\\Wow6432Node\\Tarnwick" + keyPath.substr(at + kPlain.size());
}

uint32_t ReadRegistryString(const std::string& keyPath, const std::string& valueName, std::string& destination,
                            uint32_t capacity) {
  destination.clear();
  if (capacity == 0) return 0;
  auto value = platform::RegistryGetValue(platform::Hive::LocalMachine, RedirectTo32BitView(keyPath), valueName);
  if (!value || value->type != platform::RegistryType::String) return 0;
  // The value with its terminator must fit the caller's capacity.
  if (value->text.empty() || value->text.size() + 1 > capacity) return 0;
  destination = value->text;
  return 1;
}

uint32_t ReadRegistryString(const std::string& keyPath, const std::string& valueName, char* destination,
                            uint32_t capacity) {
  if (destination == nullptr || capacity == 0) return 0;
  std::string text;
  const uint32_t ok = ReadRegistryString(keyPath, valueName, text, capacity);
  CopyText(destination, capacity, text);
  return ok;
}

uint32_t ReadRegistryDword(const std::string& keyPath, const std::string& valueName, uint32_t* destination) {
  if (keyPath.empty() || destination == nullptr) return 0;
  auto value = platform::RegistryGetValue(platform::Hive::LocalMachine, keyPath, valueName);
  if (!value || value->type != platform::RegistryType::Dword) return 0;
  *destination = value->number;
  return 1;
}

}  // namespace tw

// Feeds arbitrary bytes to the registry parser: it must never crash, hang or
// read out of bounds, and must give the same result for the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tw::platform::RegistryParseResult first = tw::platform::ParseRegistryText(bytes);
  if (first.problems.size() > first.problemCount) std::abort();
  if (first.problems.size() > tw::platform::kMaxKeptRegistryProblems) std::abort();
  for (const auto& problem : first.problems)
    if (problem.line == 0) std::abort();

  // Every section's key, and each key above it, must exist; lookups of
  // whatever was read must find it again.
  for (const auto& [key, values] : first.registry.keys) {
    if (!first.registry.presentKeys.count(key)) std::abort();
    for (const auto& [name, value] : values.values) {
      (void)value;
      std::string_view path = std::string_view(key).substr(key.size() > 4 ? 5 : 4);
      tw::platform::Hive hive = key.compare(0, 4, "HKLM") == 0 ? tw::platform::Hive::LocalMachine
                                                               : tw::platform::Hive::CurrentUser;
      if (!tw::platform::ParsedFindValue(first.registry, hive, path, name)) std::abort();
    }
  }

  tw::platform::RegistryParseResult second = tw::platform::ParseRegistryText(bytes);
  if (second.problemCount != first.problemCount || second.registry.keys.size() != first.registry.keys.size())
    std::abort();
  return 0;
}

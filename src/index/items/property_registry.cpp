#include "index/items/property_registry.h"

namespace tw {

PropertyRegistry::PropertyRegistry() { FillDefaultsLocked(); }

PropertyRegistry& PropertyRegistry::Process() {
  // Never destroyed: containers may be freed during static destruction.
  static PropertyRegistry* registry = new PropertyRegistry();
  return *registry;
}

PropertyKey PropertyRegistry::AddLocked(std::string_view name, PropertyKind kind) {
  const PropertyKey key{static_cast<int32_t>(kinds_.size()), kind};
  names_.emplace(std::string(name), key);
  kinds_.push_back(kind);
  return key;
}

void PropertyRegistry::FillDefaultsLocked() {
  AddLocked(kPropId, kKeyId.kind);
  AddLocked(kPropUid, kKeyUid.kind);
  AddLocked(kPropRead, kKeyRead.kind);
}

PropertyKey PropertyRegistry::Lookup(std::string_view name) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (names_.empty()) FillDefaultsLocked();
  const auto found = names_.find(name);
  if (found != names_.end()) return found->second;
  return AddLocked(name, PropertyKind::String);
}

std::vector<std::pair<std::string, PropertyKey>> PropertyRegistry::Names() {
  std::lock_guard<std::mutex> hold(mutex_);
  return {names_.begin(), names_.end()};
}

}  // namespace tw

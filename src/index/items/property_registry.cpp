#include "index/items/property_registry.h"

#include <functional>
#include <unordered_map>

namespace tw {
namespace {

// Keys the calling thread has looked up in the process's registry. A key
// never changes once handed out, so threads that read items by name (the
// item interface reads two names an item) need not meet at the mutex.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
using KnownKeys = std::unordered_map<std::string, PropertyKey, TextHash, std::equal_to<>>;
// Enough for every name a store uses; hostile names beyond it go to the
// mutex each time instead of growing the cache.
constexpr size_t kMostKnownKeys = 4096;

}  // namespace

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
  thread_local KnownKeys known;
  const bool cached = this == &Process();
  if (cached) {
    const auto hit = known.find(name);
    if (hit != known.end()) return hit->second;
  }
  PropertyKey key;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (names_.empty()) FillDefaultsLocked();
    const auto found = names_.find(name);
    key = found != names_.end() ? found->second : AddLocked(name, PropertyKind::String);
  }
  if (cached && known.size() < kMostKnownKeys) known.emplace(std::string(name), key);
  return key;
}

std::vector<std::pair<std::string, PropertyKey>> PropertyRegistry::Names() {
  std::lock_guard<std::mutex> hold(mutex_);
  return {names_.begin(), names_.end()};
}

}  // namespace tw

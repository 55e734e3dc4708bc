// The process-wide table that turns a property name into a slot number, so
// that every container of the process keeps a given property in the same
// slot. Names are exact, case-sensitive byte strings; slots are handed out
// in order of first use and never reused. Slot numbers differ between
// processes and are never written to disk: only names are persisted.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tw {

enum class PropertyKind : int32_t { String = 0, Integer = 1 };

struct PropertyKey {
  int32_t slot = -1;  // -1: the name has no slot
  PropertyKind kind = PropertyKind::String;
};

// The names the library itself relies on.
inline constexpr std::string_view kPropId = "ID";
inline constexpr std::string_view kPropUid = "UID";
inline constexpr std::string_view kPropRead = "READ";
inline constexpr std::string_view kPropSeq = "SEQ";
inline constexpr std::string_view kPropFlagStatus = "FLAGSTATUS";
inline constexpr std::string_view kPropStatus = "TW_STATUS";

// The first lookup fills ID, UID and READ into slots 0, 1 and 2.
inline constexpr PropertyKey kKeyId{0, PropertyKind::String};
inline constexpr PropertyKey kKeyUid{1, PropertyKind::Integer};
inline constexpr PropertyKey kKeyRead{2, PropertyKind::Integer};

class PropertyRegistry {
 public:
  // Holds ID, UID and READ in slots 0, 1 and 2 from the start, which is what
  // filling them at the first lookup would give.
  PropertyRegistry();

  // The one registry of the process.
  static PropertyRegistry& Process();

  // Returns the name's key, registering it (next slot, String kind) if new.
  PropertyKey Lookup(std::string_view name);

  // Every registered name with its key, in ascending name order.
  std::vector<std::pair<std::string, PropertyKey>> Names();

  // The kind of each slot, indexed by slot number. Call with Lock() held.
  const std::vector<PropertyKind>& SlotKindsLocked() const { return kinds_; }

  // The registry lock; a leaf lock, also held while a container is destroyed.
  std::mutex& Lock() { return mutex_; }

 private:
  void FillDefaultsLocked();
  PropertyKey AddLocked(std::string_view name, PropertyKind kind);

  std::mutex mutex_;
  std::map<std::string, PropertyKey, std::less<>> names_;
  std::vector<PropertyKind> kinds_;
};

}  // namespace tw

#include "index/lifecycle/index_removal.h"

#include <set>

#include "common/text.h"
#include "index/lifecycle/flag_change.h"
#include "index/items/sorted_store_index.h"

namespace tw {
namespace {

void Lower(FolderDetails& counters, int slot) {
  if (counters.counters[slot] > 0) --counters.counters[slot];
}

}  // namespace

int32_t RoundedKilobytes(uint64_t bytes) { return static_cast<int32_t>(static_cast<double>(bytes) / 1024.0 + 0.5); }

bool RemoveFromIndex(SORTEDSTOREINDEXTYPE& index, const std::string& ids, uint64_t* sizeTotal,
                     FolderDetails* counters) {
  std::set<std::string, std::less<>> wanted;
  for (std::string& id : SplitIdList(ids)) wanted.insert(std::move(id));
  const PropertyKey flagKey = PropertyRegistry::Process().Lookup(kPropFlagStatus);
  const PropertyKey sizeKey = PropertyRegistry::Process().Lookup("SIZE");
  for (const std::string& id : wanted) {
    const IndexItemPropertyContainer* item = index.FindById(id);
    if (item == nullptr) continue;
    if (sizeTotal != nullptr) *sizeTotal += static_cast<uint32_t>(item->GetNumber(sizeKey));
    if (counters == nullptr) continue;
    char scratch[16];
    const std::string_view flags = item->TextView(flagKey, scratch);
    Lower(*counters, FolderDetails::kItems);
    if (ContainsNoCase(flags, "SEEN")) Lower(*counters, FolderDetails::kSeen);
    if (ContainsNoCase(flags, "RECENT")) {
      Lower(*counters, 9);
      Lower(*counters, 10);
    }
  }
  return index.RemoveIds(wanted);
}

}  // namespace tw

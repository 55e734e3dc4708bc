#include "index/file/index_salvage.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>

#include "index/file/index_file_format.h"
#include "index/file/index_journal.h"
#include "index/file/serialisation_log.h"
#include "index/file/store_index_serialiser.h"
#include "index/file/stream_index_parser.h"
#include "index/items/sorted_store_index.h"
#include "platform/file_handle.h"

namespace tw {
namespace {

constexpr size_t kHeaderBytes = 1023;

uint32_t UidOf(const IndexItemPropertyContainer* item) { return static_cast<uint32_t>(item->GetNumber(kKeyUid)); }

}  // namespace

void RaiseUidFloor(SORTEDSTOREINDEXTYPE& index, uint32_t candidate, std::string_view source,
                   const std::string& folder) {
  if (candidate >= kUidFloorLimit) {
    WriteSerialisationLog("UID floor candidate " + std::to_string(candidate) + " from " + std::string(source) +
                          " ignored for " + folder + ": too large to be a UID the folder handed out.\n");
    return;
  }
  if (candidate > index.uidFloor) index.uidFloor = candidate;
}

SalvagedIndex SalvageIndexFile(const std::string& folder, uint32_t folderType) {
  return SalvageIndexFileNamed(folder, IndexFileName(folderType));
}

SalvagedIndex SalvageIndexFileNamed(const std::string& folder, const std::string& fileName) {
  SalvagedIndex salvaged;
  const std::string path = InFolder(folder, fileName);
  // Only an index file has a journal; a backup is never updated in place.
  if (fileName == "_index.xml" || fileName == "_groups.xml") CompletePendingJournal(path);
  platform::FileHandle file =
      platform::OpenFile(path, platform::Access::Read, platform::Share::All, platform::Disposition::OpenExisting);
  if (!file.IsOpen()) return salvaged;
  // The parser stops at the first damage; the elements it finished before
  // stay in the scratch index.
  SORTEDSTOREINDEXTYPE scratch;
  NullIndexLoader noLoads;
  scratch.SetLoader(&noLoads);
  const StreamParseRequest request{kLevelFull, 1, folder, file.Size()};
  DeserialiseKeysOrBetter(scratch, file, request);
  uint32_t highest = 0;
  for (const IndexItemPropertyContainer* item : scratch.ByUid()) {
    const uint32_t uid = UidOf(item);
    if (uid >= kUidFloorLimit) continue;  // damage, not a UID the folder gave
    highest = std::max(highest, uid);
    salvaged.items.push_back(item->GetAll());
  }
  const uint32_t fileLastUid = scratch.LastUid();
  salvaged.floor = std::max(highest, fileLastUid < kUidFloorLimit ? fileLastUid : 0);
  return salvaged;
}

void AddSalvaged(SORTEDSTOREINDEXTYPE& index, const SalvagedIndex& salvaged, const std::string& folder) {
  RaiseUidFloor(index, salvaged.floor, "the damaged index", folder);
  // The damaged file is newer than anything restored: where the two differ,
  // its IDs and UIDs stand. An item of the restored copy that holds one of
  // them goes; if its file is still there the walk gives it a new UID.
  std::set<std::string, std::less<>> stale;
  for (const auto& values : salvaged.items) {
    const auto id = values.find(std::string(kPropId));
    const auto uid = values.find(std::string(kPropUid));
    if (id == values.end() || uid == values.end()) continue;
    if (index.FindLoadedById(id->second) != nullptr) stale.insert(id->second);
    const uint32_t number = static_cast<uint32_t>(std::strtoul(uid->second.c_str(), nullptr, 10));
    if (const IndexItemPropertyContainer* holder = index.FindByUid(number)) stale.insert(holder->GetText(kKeyId));
  }
  if (!stale.empty()) index.RemoveIds(stale);
  for (const auto& values : salvaged.items) {
    auto item = std::make_unique<IndexItemPropertyContainer>();
    item->SetAllGiven(values);
    if (index.InsertAtEnd(item.get())) item.release();
  }
  index.ResequenceByUid();
  index.elementPlacesKnown = false;
  index.rewriteInFull = true;
}

uint32_t BackupIndexLastUid(const std::string& folder) {
  platform::FileHandle file = platform::OpenFile(InFolder(folder, "_index.xml.bak"), platform::Access::Read,
                                                 platform::Share::All, platform::Disposition::OpenExisting);
  if (!file.IsOpen()) return 0;
  char header[kHeaderBytes];
  size_t got = 0;
  if (!file.Read(header, sizeof header, got)) return 0;
  const LastUid lastUid = ParseLastUid(std::string_view(header, got));
  return lastUid.found ? lastUid.value : 0;
}

}  // namespace tw

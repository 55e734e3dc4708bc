#include "index/file/index_salvage.h"

#include <set>
#include <vector>

#include "index/file/index_file_format.h"
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

void SalvageIndexFile(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType) {
  index.Empty();
  index.keyFilter.clear();
  platform::FileHandle file = platform::OpenFile(InFolder(folder, IndexFileName(folderType)), platform::Access::Read,
                                                 platform::Share::All, platform::Disposition::OpenExisting);
  if (!file.IsOpen()) return;
  const uint32_t lastUidBefore = index.LastUid();
  index.SetLastUid(0);
  // The parser stops at the first damage; the elements it finished before
  // stay in the index.
  const StreamParseRequest request{kLevelFull, 1, folder, file.Size()};
  DeserialiseKeysOrBetter(index, file, request);
  const uint32_t fileLastUid = index.LastUid();

  std::set<std::string, std::less<>> implausible;
  uint32_t highest = 0;
  for (const IndexItemPropertyContainer* item : index.ByUid()) {
    const uint32_t uid = UidOf(item);
    if (uid >= kUidFloorLimit) implausible.insert(item->GetText(kKeyId));
    else if (uid > highest) highest = uid;
  }
  if (!implausible.empty()) index.RemoveIds(implausible);
  // The places belong to the damaged file: the next save writes anew.
  for (IndexItemPropertyContainer* item : index.ByUid()) item->SetFilePlace(0, 0);
  for (IndexItemPropertyContainer* item : index.Removed()) item->SetFilePlace(0, 0);
  index.elementPlacesKnown = false;
  index.rewriteInFull = true;
  index.SetLowestUid(0);
  index.SetLastUid(highest);
  if (lastUidBefore < kUidFloorLimit && lastUidBefore > index.uidFloor) index.uidFloor = lastUidBefore;
  RaiseUidFloor(index, fileLastUid, "the damaged index's LASTUID", folder);
  RaiseUidFloor(index, highest, "the damaged index's highest UID", folder);
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

#include "index/file/unindexed_serialiser.h"

#include <vector>

#include "common/file_management.h"
#include "common/text.h"
#include "index/file/index_save.h"
#include "index/file/reconcile_scans.h"
#include "index/file/serialisation_log.h"
#include "index/items/sorted_store_index.h"
#include "platform/files.h"

namespace tw {
namespace {

// The vCalendar block of an item file, "BEGIN:VCALENDAR" to "END:VCALENDAR"
// in any case; the rest of the file when the end is missing.
std::string_view CalendarBlock(std::string_view text) {
  const size_t begin = FindNoCase(text, "BEGIN:VCALENDAR");
  if (begin == std::string_view::npos) return {};
  constexpr std::string_view kEnd = "END:VCALENDAR";
  const size_t end = FindNoCase(text.substr(begin), kEnd);
  return end == std::string_view::npos ? text.substr(begin) : text.substr(begin, end + kEnd.size());
}

// Calendar and tasks: each item file is read into its item and deleted.
void WalkCalendarFiles(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType) {
  auto* read = Reconcile().readCalendarText;
  if (read == nullptr) return;
  const char* extension = folderType == kFolderTypeTasks ? "TSK" : "CAL";
  std::vector<platform::FindData> files;
  ListDirectory(InFolder(folder, std::string("*.") + extension), files, -1);
  for (const platform::FindData& file : files) {
    IndexItemPropertyContainer* item = index.FindById(file.name);
    bool fresh = false;
    if (item == nullptr) {
      item = new IndexItemPropertyContainer();
      item->SetText(kKeyId, file.name);
      fresh = true;
    }
    const std::string path = InFolder(folder, file.name);
    const std::string text = ReadWholeFileAsText(path);
    platform::DeleteFile(path);
    read(*item, CalendarBlock(text), folderType);
    if (fresh && !index.InsertAtEnd(item)) delete item;
  }
}

}  // namespace

ReconcileScans& Reconcile() {
  static ReconcileScans scans;
  return scans;
}

UnindexedStoreIndexSerialiser::~UnindexedStoreIndexSerialiser() {
  if (ownsInner_) delete inner_;
}

int32_t UnindexedStoreIndexSerialiser::DeserialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder,
                                                       uint32_t folderType, int32_t level, uint32_t verifyFiles,
                                                       bool quiet) {
  index.keyFilter.clear();
  if (inner_ == nullptr) {
    index.Empty();
  } else {
    const DeserialiseOptions options{verifyFiles, false, quiet || innerQuiet_};
    if (inner_->Deserialise(index, folder, folderType, kLevelFull, options) == kLevelFailed)
      inner_->SaveBadCopy(folder);
  }

  if (salvaged_ != nullptr) AddSalvaged(index, *salvaged_, folder);

  // The scans look items up: what is in memory now counts as loaded.
  const int32_t innerLevel = index.LoadLevel();
  index.SetLoadLevel(kLevelFull);
  const ReconcileScans& scans = Reconcile();
  switch (folderType) {
    case kFolderTypeMail:
    case kFolderTypeMailAlias:
      if (scans.mail != nullptr) {
        index.rewriteInFull = true;
        scans.mail(index, folder);  // saves as every mail indexing does
        return kLevelFull;
      }
      break;
    case kFolderTypeContacts:
      if (scans.contacts != nullptr) scans.contacts(index, folder);
      break;
    case kFolderTypeCalendar:
      if (scans.calendar != nullptr) scans.calendar(index, folder);
      WalkCalendarFiles(index, folder, folderType);
      break;
    case kFolderTypeTasks:
      if (FileExists(InFolder(folder, "_index.xml"))) WalkCalendarFiles(index, folder, folderType);
      break;
    case kFolderTypeGroups:
      index.Empty();
      break;
    default:
      WriteSerialisationLog(std::string("UnindexedStoreIndexSerialiser::DeserialiseHook") +
                            " called with invalid message class (" + std::to_string(folderType) + ") for " + folder);
      index.SetLoadLevel(innerLevel);
      index.rewriteInFull = true;
      return kLevelFailed;
  }
  (void)level;
  index.rewriteInFull = true;
  SaveIndexBlockHeld(index, folder, folderType);
  return kLevelFull;
}

int32_t NullStoreIndexDeserialiser::DeserialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string&, uint32_t,
                                                    int32_t, uint32_t, bool) {
  index.Empty();
  return kLevelFull;
}

}  // namespace tw

#include "index/file/store_index_serialiser.h"

#include <algorithm>

#include "common/file_management.h"
#include "index/file/index_journal.h"
#include "index/file/index_salvage.h"
#include "index/file/serialisation_log.h"
#include "index/file/serialisation_settings.h"
#include "index/items/sorted_store_index.h"
#include "index/file/unindexed_serialiser.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/sleep.h"

namespace tw {
namespace {

constexpr uint64_t kFileTimePerMinute = 600000000ull;

std::string IndexPath(const std::string& folder) { return InFolder(folder, "_index.xml"); }
std::string BackupPath(const std::string& folder) { return InFolder(folder, "_index.xml.bak"); }
std::string BadCopyPath(const std::string& folder) { return InFolder(folder, "_index.xml.bad"); }

}  // namespace

const char* IndexFileName(uint32_t folderType) {
  return folderType == kFolderTypeGroups ? "_groups.xml" : "_index.xml";
}

std::string InFolder(const std::string& folder, const std::string& name) {
  if (!folder.empty() && IsPathSeparator(folder.back())) return folder + name;
  return folder + "\\" + name;
}

int32_t StoreIndexSerialiser::Deserialise(SORTEDSTOREINDEXTYPE& index, const std::string& folder,
                                          uint32_t folderType, int32_t level, const DeserialiseOptions& options) {
  const std::string changeMarker = InFolder(folder, "_change.dty");
  platform::FileInfo markerBefore;
  const bool markedBefore = options.deleteChangeMarker && platform::GetFileInfo(changeMarker, markerBefore);
  int32_t reached = DeserialiseHook(index, folder, folderType, level, options.verifyFiles, options.quiet);
  index.SetLoadLevel(reached);
  const bool backupInUse = !options.quiet && BackupIndexOn() && SupportsBackup();

  if (reached == kLevelFull) {
    // A marker the load itself wrote (a scan cut short) keeps the folder dirty.
    platform::FileInfo markerAfter;
    if (options.deleteChangeMarker && platform::GetFileInfo(changeMarker, markerAfter) &&
        markedBefore && markerAfter.lastWriteTime == markerBefore.lastWriteTime)
      platform::DeleteFile(changeMarker);
    if (backupInUse && (!IndexXMLBackupExists(folder) || BackupAgeMinutes(folder) > BackupIndexInterval()))
      MakeBackup(folder);
    return reached;
  }
  if (reached != kLevelFailed) return reached;

  // Before anything sets the file aside: known messages keep their UIDs and
  // flags, and the UIDs it handed out are never given out again.
  SalvagedIndex salvaged;
  if (ReadsIndexFile() && FileExists(InFolder(folder, IndexFileName(folderType)))) {
    salvaged = SalvageIndexFile(folder, folderType);
    index.Empty();
    index.keyFilter.clear();  // all that could be read is in memory now
    AddSalvaged(index, salvaged, folder);
  }

  std::string report = "Failed to deserialise index: " + folder + ".";
  if (backupInUse) {
    if (!IndexXMLBackupExists(folder)) {
      report += " Unable to find recovery index. Recovering Index (there may be some flag loss)";
      SaveBadCopy(folder);
    } else if (SalvageIndexFileNamed(folder, "_index.xml.bak").items.size() < salvaged.items.size()) {
      // An older copy that knows fewer messages than the damaged file would
      // lose flags and UIDs the salvage kept.
      report += " Backup index holds fewer items than could be salvaged; not restored.";
      SaveBadCopy(folder);
    } else if (!RestoreSerialisationBackup(folder)) {
      report += " Failed to restore backup index. RestoreSerialisationBackup returned:" +
                std::to_string(platform::GetLastError());
    } else {
      // The restored copy is reconciled with the item files too; its own
      // load stays quiet so that a corrupt backup is not restored again.
      UnindexedStoreIndexSerialiser recovery(this, /*ownsInner=*/false, /*innerQuiet=*/true);
      recovery.MergeAfterLoad(&salvaged);  // the damaged file is newer than its backup
      // A backup is hours old: messages whose files went since do not come
      // back (other kinds of item have no file of their own to check).
      DeserialiseOptions verified = options;
      verified.rebuildDamaged = false;
      if (folderType == kFolderTypeMail || folderType == kFolderTypeMailAlias)
        verified.verifyFiles = std::max<uint32_t>(options.verifyFiles, 1);
      reached = recovery.Deserialise(index, folder, folderType, level, verified);
      if (reached == kLevelFailed) {
        report += " Backup Index is also corrupt.";
        IndexXMLDeleteBackupSerialisation(folder);
      } else {
        report += " Successfully loaded recovery index.";
      }
    }
  }
  if (reached == kLevelFailed && options.rebuildDamaged && ReadsIndexFile()) {
    // No open fails for a damaged file: it goes aside as _index.xml.bad and
    // the index is built anew from the item files over what was salvaged.
    if (FileExists(InFolder(folder, IndexFileName(folderType)))) SaveBadCopy(folder);
    UnindexedStoreIndexSerialiser rebuild(nullptr, /*ownsInner=*/false);
    rebuild.MergeAfterLoad(&salvaged);
    DeserialiseOptions rebuilding = options;
    rebuilding.rebuildDamaged = false;
    rebuilding.quiet = true;
    reached = rebuild.Deserialise(index, folder, folderType, kLevelFull, rebuilding);
    report += reached == kLevelFailed ? " Rebuilding it from the item files failed." : " Rebuilt it from the item files.";
  }
  report += "\n";
  if (!options.quiet) WriteSerialisationLog(report);
  return reached;
}

void IndexFileSerialiser::MakeBackup(const std::string& folder) {
  platform::CopyFile(IndexPath(folder), BackupPath(folder), false);
}

bool IndexFileSerialiser::RestoreSerialisationBackup(const std::string& folder) {
  if (!FileExists(BackupPath(folder))) return false;
  DeleteFileWithRetry(BadCopyPath(folder));
  platform::CopyFile(IndexPath(folder), BadCopyPath(folder), false);
  DiscardJournal(IndexPath(folder));
  DeleteFileWithRetry(IndexPath(folder));
  platform::CopyFile(BackupPath(folder), IndexPath(folder), false);
  return true;
}

bool IndexFileSerialiser::SaveBadCopy(const std::string& folder) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (attempt > 0) platform::Sleep(1000);
    if (platform::CopyFile(IndexPath(folder), BadCopyPath(folder), false) && platform::DeleteFile(IndexPath(folder)))
      return true;
  }
  return false;
}

bool IndexFileSerialiser::IndexXMLBackupExists(const std::string& folder) { return FileExists(BackupPath(folder)); }

uint32_t IndexFileSerialiser::BackupAgeMinutes(const std::string& folder) {
  platform::FileInfo info;
  if (!platform::GetFileInfo(BackupPath(folder), info)) return 0;
  const uint64_t now = platform::CurrentFileTime();
  return now > info.lastWriteTime ? static_cast<uint32_t>((now - info.lastWriteTime) / kFileTimePerMinute) : 0;
}

void IndexFileSerialiser::IndexXMLDeleteBackupSerialisation(const std::string& folder) {
  platform::DeleteFile(BackupPath(folder));
}

}  // namespace tw

// Reads and writes a folder index. One serialiser object is made for one
// load or save and deleted afterwards; the caller holds the folder's block
// file and the index's record lock around every call.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace tw {

class SORTEDSTOREINDEXTYPE;

inline constexpr uint32_t kFolderTypeMail = 0;
inline constexpr uint32_t kFolderTypeContacts = 1;
inline constexpr uint32_t kFolderTypeCalendar = 2;
inline constexpr uint32_t kFolderTypeTasks = 3;
inline constexpr uint32_t kFolderTypeFileRoot = 4;
inline constexpr uint32_t kFolderTypeMailAlias = 25;
inline constexpr uint32_t kFolderTypeGroups = 54;

// Load levels.
inline constexpr int32_t kLevelFailed = 0;
inline constexpr int32_t kLevelHeader = 1;
inline constexpr int32_t kLevelKeys = 2;
inline constexpr int32_t kLevelFull = 3;

struct DeserialiseOptions {
  uint32_t verifyFiles = 0;         // above 0: skip items whose file is missing
  bool deleteChangeMarker = false;  // a complete load deletes `_change.dty`
  bool quiet = false;               // no reports, no backup
  // A damaged index file is set aside and the index rebuilt from the item
  // files, keeping what could be salvaged: the caller gets an index.
  bool rebuildDamaged = false;
};

class StoreIndexSerialiser {
 public:
  virtual ~StoreIndexSerialiser() = default;

  // The folder arguments are folder directories.
  virtual void MakeBackup(const std::string& folder) = 0;
  virtual bool RestoreSerialisationBackup(const std::string& folder) = 0;
  virtual bool SaveBadCopy(const std::string& folder) = 0;
  // 1 when written.
  virtual int32_t SerialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType) = 0;
  // The load level reached.
  virtual int32_t DeserialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType,
                                  int32_t level, uint32_t verifyFiles, bool quiet) = 0;
  virtual bool NeedsFullLoad() const = 0;
  virtual bool SupportsBackup() const = 0;
  virtual bool IndexXMLBackupExists(const std::string& folder) = 0;
  virtual uint32_t BackupAgeMinutes(const std::string& folder) = 0;
  virtual void IndexXMLDeleteBackupSerialisation(const std::string& folder) = 0;
  // True for the serialisers that read the index file itself.
  virtual bool ReadsIndexFile() const { return false; }

  // Loads with backup and recovery; stores the level reached in the index.
  int32_t Deserialise(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType, int32_t level,
                      const DeserialiseOptions& options);
  int32_t Serialise(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType) {
    return SerialiseHook(index, folder, folderType);
  }
};

// The backup operations of the serialisers that keep `_index.xml` (also for
// a groups index, whose backups carry the same names).
class IndexFileSerialiser : public StoreIndexSerialiser {
 public:
  void MakeBackup(const std::string& folder) override;
  bool RestoreSerialisationBackup(const std::string& folder) override;
  bool SaveBadCopy(const std::string& folder) override;
  bool IndexXMLBackupExists(const std::string& folder) override;
  uint32_t BackupAgeMinutes(const std::string& folder) override;
  void IndexXMLDeleteBackupSerialisation(const std::string& folder) override;
  bool ReadsIndexFile() const override { return true; }
};

// "_groups.xml" for type 54, else "_index.xml".
const char* IndexFileName(uint32_t folderType);
// `folder` joined with `name` by one separator.
std::string InFolder(const std::string& folder, const std::string& name);

}  // namespace tw

// Serialisers that do not read an index file: the reconcile, which rebuilds
// an index from (or brings a loaded one up to date with) the item files of
// its folder, and the null deserialiser, which loads an empty index.
#pragma once
#include <cstdint>
#include <string>

#include "index/file/index_salvage.h"
#include "index/file/store_index_serialiser.h"

namespace tw {

// Serialisers without an index file of their own: no backups, nothing
// written, and a save needs the whole index.
class FilelessSerialiser : public StoreIndexSerialiser {
 public:
  void MakeBackup(const std::string&) override {}
  bool RestoreSerialisationBackup(const std::string&) override { return false; }
  bool SaveBadCopy(const std::string&) override { return false; }
  int32_t SerialiseHook(SORTEDSTOREINDEXTYPE&, const std::string&, uint32_t) override { return 0; }
  bool NeedsFullLoad() const override { return true; }
  bool SupportsBackup() const override { return false; }
  bool IndexXMLBackupExists(const std::string&) override { return false; }
  uint32_t BackupAgeMinutes(const std::string&) override { return 0; }
  void IndexXMLDeleteBackupSerialisation(const std::string&) override {}
};

class UnindexedStoreIndexSerialiser : public FilelessSerialiser {
 public:
  // `inner` (may be null) loads the index file first; `innerQuiet` keeps
  // that load from reporting and recovering.
  UnindexedStoreIndexSerialiser(StoreIndexSerialiser* inner, bool ownsInner, bool innerQuiet = false)
      : inner_(inner), ownsInner_(ownsInner), innerQuiet_(innerQuiet) {}
  ~UnindexedStoreIndexSerialiser() override;

  int32_t DeserialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType, int32_t level,
                          uint32_t verifyFiles, bool quiet) override;

  StoreIndexSerialiser* Inner() const { return inner_; }
  // What was salvaged from a damaged index file, put into the index after
  // the inner load and before the item files are walked. Not owned.
  void MergeAfterLoad(const SalvagedIndex* salvaged) { salvaged_ = salvaged; }

 private:
  StoreIndexSerialiser* inner_;
  const SalvagedIndex* salvaged_ = nullptr;
  bool ownsInner_;
  bool innerQuiet_;
};

class NullStoreIndexDeserialiser : public FilelessSerialiser {
 public:
  int32_t DeserialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType, int32_t level,
                          uint32_t verifyFiles, bool quiet) override;
};

}  // namespace tw

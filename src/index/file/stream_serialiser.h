// Reads and writes `_index.xml` as a byte stream, without a document tree.
// A load can stop after the header or take only the items a key filter
// names; every item remembers where its element lies, so a save rewrites
// only the tail from the first changed item and marks removed items dead in
// place.
#pragma once
#include <cstdint>
#include <string>

#include "index/file/store_index_serialiser.h"

namespace tw {

inline constexpr const char* kSerialisationSource = "..\\SERVICES\\Library\\LIBStoreIndexSerialisation";

class StreamXMLStoreIndexSerialiser : public IndexFileSerialiser {
 public:
  int32_t SerialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType) override;
  int32_t DeserialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType, int32_t level,
                          uint32_t verifyFiles, bool quiet) override;
  bool NeedsFullLoad() const override { return false; }
  bool SupportsBackup() const override { return true; }
};

// The stream-state warning of a failed read or write at `line`.
void ReportStreamContention(bool bad, int line);

}  // namespace tw

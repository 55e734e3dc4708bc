// The document-model serialiser of `_index.xml`: a load parses the whole file
// into a pugixml document (rejecting what a strict XML 1.0 parser rejects)
// and fills the index from it; a save writes every item anew.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "index/file/store_index_serialiser.h"

namespace tw {

class MSXMLStoreIndexSerialiser : public IndexFileSerialiser {
 public:
  // `oldFormat`: a decimal LASTUID and the items in ID order; otherwise the
  // "x" form and UID order, which the stream serialiser can update in place.
  explicit MSXMLStoreIndexSerialiser(bool oldFormat) : oldFormat_(oldFormat) {}

  int32_t SerialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType) override;
  int32_t DeserialiseHook(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType, int32_t level,
                          uint32_t verifyFiles, bool quiet) override;
  bool NeedsFullLoad() const override { return true; }
  bool SupportsBackup() const override { return false; }

 private:
  bool oldFormat_;
};

// Reads an index file whole and parses it as strictly as a load does; on
// failure prints the "Error:" block a load prints and returns false. The
// file's last-write time as it was read, when asked for.
bool LoadIndexDocument(const std::string& path, pugi::xml_document& document, uint64_t* lastWriteTime = nullptr);

// The ELEMENT child of the BASEELEMENT root whose ID is `id`; an empty node
// when there is none or `id` cannot be put into the query.
pugi::xml_node FindElementById(const pugi::xml_document& document, std::string_view id);

}  // namespace tw

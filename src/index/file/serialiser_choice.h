// Which serialiser loads or saves a folder index, by the registry switches,
// the files present and the folder type.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"

namespace tw {

std::unique_ptr<StoreIndexSerialiser> ChooseLoadSerialiser(const std::string& folder, uint32_t folderType,
                                                           bool reconcileAllowed, bool forceReconcile);
std::unique_ptr<StoreIndexSerialiser> ChooseSaveSerialiser();
// The lowest level an open may load: 3 when a save needs every item in
// memory, else 1.
int32_t MinimumOpenLevel();

// Loads an index from its folder with its stored options, taking the
// folder's block unless the caller holds it. An index with no folder path
// loads nothing.
class SerialiserIndexLoader : public IndexLoader {
 public:
  int32_t Load(SORTEDSTOREINDEXTYPE& index, int32_t requiredLevel) override;
};

}  // namespace tw

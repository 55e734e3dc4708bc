#include "index/file/serialiser_choice.h"

#include <algorithm>

#include "common/file_management.h"
#include "index/file/document_serialiser.h"
#include "index/locking/index_file_blocking.h"
#include "index/file/serialisation_settings.h"
#include "index/file/stream_serialiser.h"
#include "index/file/unindexed_serialiser.h"

namespace tw {
namespace {

std::unique_ptr<StoreIndexSerialiser> Reconciling(std::unique_ptr<StoreIndexSerialiser> inner) {
  return std::make_unique<UnindexedStoreIndexSerialiser>(inner.release(), true);
}

}  // namespace

std::unique_ptr<StoreIndexSerialiser> ChooseLoadSerialiser(const std::string& folder, uint32_t folderType,
                                                           bool reconcileAllowed, bool forceReconcile) {
  std::unique_ptr<StoreIndexSerialiser> chosen;
  if (FileExists(InFolder(folder, IndexFileName(folderType)))) {
    if (UseStreamDeserialisation()) chosen = std::make_unique<StreamXMLStoreIndexSerialiser>();
    else chosen = std::make_unique<MSXMLStoreIndexSerialiser>(MsxmlProducesOldFormat());
    if (reconcileAllowed && FileExists(InFolder(folder, "_change.dty"))) return Reconciling(std::move(chosen));
    if (forceReconcile) return Reconciling(std::move(chosen));
  } else if (reconcileAllowed) {
    chosen = std::make_unique<UnindexedStoreIndexSerialiser>(nullptr, false);
  } else {
    chosen = std::make_unique<NullStoreIndexDeserialiser>();
    if (forceReconcile) return Reconciling(std::move(chosen));
  }
  if (folderType == kFolderTypeCalendar && CalendarReIndexMode() != 0) return Reconciling(std::move(chosen));
  return chosen;
}

std::unique_ptr<StoreIndexSerialiser> ChooseSaveSerialiser() {
  if (UseStreamSerialisation()) return std::make_unique<StreamXMLStoreIndexSerialiser>();
  return std::make_unique<MSXMLStoreIndexSerialiser>(MsxmlProducesOldFormat());
}

int32_t MinimumOpenLevel() { return ChooseSaveSerialiser()->NeedsFullLoad() ? kLevelFull : kLevelHeader; }

int32_t SerialiserIndexLoader::Load(SORTEDSTOREINDEXTYPE& index, int32_t requiredLevel) {
  if (index.folderPath.empty()) return index.LoadLevel();
  const IndexLoadOptions& options = index.loadOptions;
  if (options.useLoaded && index.LoadLevel() > 0) return index.LoadLevel();
  // A save that writes the whole file must have every item in memory,
  // whatever the caller thought it needed.
  requiredLevel = std::max(requiredLevel, MinimumOpenLevel());
  const std::string folder = index.folderPath;
  const auto serialiser =
      ChooseLoadSerialiser(folder, index.folderType, options.reconcileAllowed, options.forceReconcile);
  const std::string block =
      InFolder(folder, index.folderType == kFolderTypeGroups ? "_groups.blk" : "_index.blk");
  uintptr_t handle = 0;
  if (!options.blockHeld && WaitForAccessToIndexFileEx(block, kHeldBlock, &handle) == 0) return index.LoadLevel();
  const DeserialiseOptions load{options.verifyFiles, options.reconcileAllowed, !options.notQuiet,
                                options.reconcileAllowed};
  const int32_t reached = serialiser->Deserialise(index, folder, index.folderType, requiredLevel, load);
  if (!options.blockHeld) UnBlockIndexFileAccessEx(block, kHeldBlock, &handle);
  return reached;
}

IndexLoader& DefaultIndexLoader() {
  static SerialiserIndexLoader loader;
  return loader;
}

}  // namespace tw

#include "index/messages/file_root_scan.h"

#include <set>
#include <vector>

#include "common/file_management.h"
#include "index/locking/index_file_blocking.h"
#include "index/file/index_save.h"
#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"
#include "index/file/unindexed_serialiser.h"
#include "index/file/serialiser_choice.h"
#include "platform/files.h"

namespace tw {

int32_t ScanFileRoot(SORTEDSTOREINDEXTYPE& index, const std::string& folderPath, bool blockHeld) {
  const std::string block = InFolder(folderPath, "_index.blk");
  uintptr_t handle = 0;
  if (!blockHeld && WaitForAccessToIndexFileEx(block, kHeldBlock, &handle) == 0) return 0;

  index.Empty();
  index.SetLoadLevel(kLevelFull);
  if (FileExists(InFolder(folderPath, IndexFileName(kFolderTypeFileRoot))))
    ChooseLoadSerialiser(folderPath, kFolderTypeFileRoot, false, false)
        ->Deserialise(index, folderPath, kFolderTypeFileRoot, kLevelFull, {0, false, true});
  index.SetLoadLevel(kLevelFull);

  std::vector<platform::FindData> files;
  ListDirectory(InFolder(folderPath, "*"), files, -1);
  std::set<std::string, std::less<>> present;
  for (const platform::FindData& file : files) {
    present.insert(file.name);
    const std::string modified = std::to_string(platform::FileTimeToDosDateTime(file.lastWriteTime));
    const std::string size = std::to_string(file.size);
    IndexItemPropertyContainer* item = index.FindById(file.name);
    if (item != nullptr && item->GetText("MODIFIEDDATE") == modified && item->GetText("SIZE") == size) continue;
    const bool fresh = item == nullptr;
    if (fresh) {
      item = new IndexItemPropertyContainer();
      item->SetText(kKeyId, file.name);
    }
    item->SetText("MODIFIEDDATE", modified);
    item->SetText("SIZE", size);
    item->SetText("SUBJECT", file.name);
    if (fresh && !index.InsertAtEnd(item)) delete item;
  }
  std::set<std::string, std::less<>> gone;
  for (const auto* item : index.Sequence()) {
    std::string id = item->GetText(kKeyId);
    if (present.find(id) == present.end()) gone.insert(std::move(id));
  }
  if (!gone.empty()) index.RemoveIds(gone);
  index.rewriteInFull = true;
  const bool saved = SaveIndexBlockHeld(index, folderPath, kFolderTypeFileRoot);
  if (!blockHeld) UnBlockIndexFileAccessEx(block, kHeldBlock, &handle);
  return saved ? 1 : 0;
}

}  // namespace tw

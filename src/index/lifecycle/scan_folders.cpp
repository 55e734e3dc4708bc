#include "index/lifecycle/scan_folders.h"

#include "index/locking/index_file_blocking.h"
#include "index/file/index_save.h"
#include "index/messages/mail_folder_scan.h"
#include "index/file/serialiser_choice.h"
#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"

namespace tw {

int32_t ScanFolders(const std::string& folderPath) {
  if (folderPath.empty()) return 0;
  InstallMailFolderScan();
  const std::string block = InFolder(folderPath, "_index.blk");
  uintptr_t handle = 0;
  if (WaitForAccessToIndexFileEx(block, kHeldBlock, &handle) == 0) return 0;
  int32_t result = 0;
  try {
    SORTEDSTOREINDEXTYPE index;
    const auto loader = ChooseLoadSerialiser(folderPath, kFolderTypeMail, true, true);
    const DeserialiseOptions load{1, true, false};
    if (loader->Deserialise(index, folderPath, kFolderTypeMail, kLevelFull, load) >= kLevelFull)
      result = SaveIndexBlockHeld(index, folderPath, kFolderTypeMail) ? 1 : 0;
  } catch (...) {
    UnBlockIndexFileAccessEx(block, kHeldBlock, &handle);
    throw;
  }
  UnBlockIndexFileAccessEx(block, kHeldBlock, &handle);
  return result;
}

}  // namespace tw

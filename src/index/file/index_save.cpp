#include "index/file/index_save.h"

#include "index/file/serialiser_choice.h"
#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"
#include "platform/files.h"

namespace tw {

void RememberIndexFile(SORTEDSTOREINDEXTYPE& index, const std::string& path) {
  platform::FileInfo info;
  const bool found = platform::GetFileInfo(path, info);
  index.indexFileTime = found ? info.lastWriteTime : 0;
  index.indexFileSize = found ? static_cast<uint32_t>(info.size) : 0;
}

bool SaveIndexBlockHeld(SORTEDSTOREINDEXTYPE& index, const std::string& folder, uint32_t folderType) {
  const auto serialiser = ChooseSaveSerialiser();
  if (serialiser->Serialise(index, folder, folderType) != 1) return false;
  index.SetLowestUid(0);
  index.rewriteInFull = false;
  RememberIndexFile(index, InFolder(folder, IndexFileName(folderType)));
  return true;
}

}  // namespace tw

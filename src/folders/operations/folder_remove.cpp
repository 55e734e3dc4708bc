#include "folders/operations/folder_remove.h"

#include <optional>
#include <string>

#include "common/file_management.h"
#include "folders/operations/folder_blocks.h"
#include "folders/operations/folder_place.h"
#include "folders/operations/folder_record.h"
#include "folders/tree/folder_index_flag.h"
#include "index/messages/folder_cache_files.h"
#include "platform/files.h"
#include "services/shares/share_removal.h"

namespace tw {

uint32_t RemoveFolder(const FolderRecord& record) {
  if (NamesPublicRoot(RecordText(record.path))) return 0;
  const std::optional<FolderPlace> place = ResolveFolderPlace(record);
  if (!place) return 0;
  const uint32_t attributes = platform::GetFileAttributes(place->directory);
  if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) == 0) return 0;
  const bool link = (attributes & platform::kAttrReparsePoint) != 0;
  if (!link && TreeHasLiveBlock(place->directory)) return 0;

  const std::string postoffice(RecordText(record.postoffice)), mailbox(RecordText(record.mailbox));
  // Share files that are missing or broken do not keep a folder from going.
  RemoveFolderShares(postoffice, mailbox, RecordFolderPath(record));
  const int deleted = DeleteTree(place->directory, 1);
  MarkFolderIndexOutOfDate(place->parent);
  if (!DeleteMailboxSizeFiles(postoffice, mailbox)) return 0;
  return deleted == kDeleteTreeDone ? 1 : 0;
}

}  // namespace tw

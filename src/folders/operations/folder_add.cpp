#include "folders/operations/folder_add.h"

#include <optional>
#include <string>

#include "common/text.h"
#include "folders/operations/folder_place.h"
#include "folders/operations/folder_record.h"
#include "folders/tree/folder_index_file.h"
#include "folders/tree/folder_index_flag.h"
#include "folders/tree/folder_index_rebuild.h"
#include "frame/store_paths.h"
#include "platform/files.h"

namespace tw {
namespace {

// Folder names compare without regard to case, as they do for clients.
bool HasEntryAnyCase(const std::string& directory, std::string_view name) {
  platform::FindHandle find;
  platform::FindData data;
  for (bool more = find.First(directory + "\\*", data); more; more = find.Next(data))
    if (EqualsNoCase(data.name, name)) return true;
  return false;
}

}  // namespace

uint32_t AddFolder(FolderRecord& record) {
  StandardiseTopLevelName(record);
  const std::string_view path = RecordText(record.path);
  const std::string name(RecordText(record.name));
  if (PublicFoldersEnabled() && (path == "\\" || path == "/") && NamesPublicRoot(name)) return 0;
  if (name.empty()) return 0;
  const std::optional<FolderPlace> place = ResolveFolderPlace(record);
  if (!place || HasEntryAnyCase(place->parent, name)) return 0;
  if (!platform::CreateDirectory(place->directory)) return 0;
  if (!FolderIndexListsName(place->parent, name)) MarkFolderIndexOutOfDate(place->parent);
  return 1;
}

uint32_t ReindexChildFolders(const FolderRecord& record) {
  const std::optional<std::string> directory = RecordDirectory(record);
  if (!directory) return 0;
  const std::string_view path = RecordText(record.path);
  return RebuildFolderIndex(*directory, path == "\\" || path == "/");
}

}  // namespace tw

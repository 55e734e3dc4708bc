#include "folders/operations/folder_add.h"

#include <optional>
#include <string>

#include "common/text.h"
#include "folders/operations/folder_record.h"
#include "folders/tree/folder_index_file.h"
#include "folders/tree/folder_index_flag.h"
#include "folders/tree/folder_index_rebuild.h"
#include "frame/store_paths.h"
#include "platform/files.h"

namespace tw {
namespace {

bool AtTopLevel(std::string_view path) { return path.empty() || path == "\\" || path == "/"; }

bool NamesPublic(std::string_view text) {
  return EqualsNoCase(text, "\\Public") || EqualsNoCase(text, "/Public") || EqualsNoCase(text, "Public");
}

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
  const std::string path(RecordText(record.path));
  if (AtTopLevel(path)) SetRecordText(record.name, SpecialNameForm(path, std::string(RecordText(record.name))));
  const std::string name(RecordText(record.name));
  if (PublicFoldersEnabled() && (path == "\\" || path == "/") && NamesPublic(name)) return 0;
  if (name.empty()) return 0;
  FolderRecord parentRecord = record;
  parentRecord.name[0] = '\0';
  if (!IsSafeFolderRecord(record)) return 0;
  const std::optional<std::string> parent = RecordDirectory(parentRecord);
  if (!parent || HasEntryAnyCase(*parent, name)) return 0;
  if (!platform::CreateDirectory(*parent + "\\" + name)) return 0;
  if (!FolderIndexListsName(*parent, name)) MarkFolderIndexOutOfDate(*parent);
  return 1;
}

uint32_t ReindexChildFolders(const FolderRecord& record) {
  const std::optional<std::string> directory = RecordDirectory(record);
  if (!directory) return 0;
  const std::string_view path = RecordText(record.path);
  return RebuildFolderIndex(*directory, path == "\\" || path == "/");
}

}  // namespace tw

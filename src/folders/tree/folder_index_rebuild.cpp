#include "folders/tree/folder_index_rebuild.h"

#include <vector>

#include "folders/tree/folder_index_file.h"
#include "folders/tree/folder_index_flag.h"
#include "frame/store_paths.h"
#include "platform/folder_files.h"

namespace tw {
namespace {

bool IsUnsafeByte(unsigned char c) {
  switch (c) {
    case '"': case '*': case ':': case '<': case '>': case '?': case '|': case '\\':
      return true;
    default:
      return c < 0x20 || c >= 0x80;
  }
}

}  // namespace

std::string CleanFolderName(std::string_view name) {
  std::string clean(name);
  for (char& c : clean) {
    if (IsUnsafeByte(static_cast<unsigned char>(c))) c = '_';
  }
  return clean;
}

uint32_t RebuildFolderIndex(const std::string& directory, bool normalise) {
  platform::FolderFiles folder;
  if (!folder.Open(directory)) return 0;
  // The flag goes before the listing: a folder added meanwhile marks the
  // index again, and that mark must survive this rebuild.
  ClearFolderIndexFlag(directory);

  std::vector<std::string> names;
  for (const platform::FolderEntry& entry : folder.List("*", platform::NameMode::AnyName)) {
    if (entry.kind != platform::EntryKind::Directory) continue;
    std::string name = normalise ? SpecialNameForm("\\", entry.name) : entry.name;
    const std::string clean = CleanFolderName(name);
    if (clean != name) {
      name = folder.RenameAnyName(entry.name, clean) ? clean : clean + " (Error)";
    }
    names.push_back(std::move(name));
  }
  if (WriteFolderIndex(directory, names)) return 1;
  // The old file, if any, is still out of date.
  MarkFolderIndexOutOfDate(directory);
  return 0;
}

}  // namespace tw

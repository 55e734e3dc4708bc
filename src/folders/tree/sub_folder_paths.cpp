#include "folders/tree/sub_folder_paths.h"

#include <memory>

#include "folders/operations/folder_record.h"
#include "folders/tree/folder_enumeration.h"
#include "folders/tree/folder_list.h"

namespace tw {
namespace {

struct ListDeleter {
  void operator()(FolderList* list) const { FreeFolderList(list); }
};

}  // namespace

std::vector<std::string> SubFolderPaths(const FolderRecord& parent) {
  std::vector<std::string> paths;
  std::unique_ptr<FolderList, ListDeleter> list(CreateFolderList());
  if (list == nullptr) return paths;
  std::string base(RecordText(parent.path));
  if (base == "\\") base.clear();
  FolderRecord search = parent;
  if (base.empty()) SetRecordText(search.path, "\\");
  for (uint32_t more = FindFirstSubFolder(search, list.get(), true); more != 0;
       more = FindNextSubFolder(search, list.get(), true)) {
    std::string child = base + "\\" + std::string(RecordText(search.name));
    if (child.size() < sizeof search.path) paths.push_back(std::move(child));
  }
  CloseSubFolderSearch(list.get());
  return paths;
}

}  // namespace tw

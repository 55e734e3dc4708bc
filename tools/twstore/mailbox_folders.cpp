#include "mailbox_folders.h"

#include <memory>

#include "folders/operations/folder_record.h"
#include "folders/tree/folder_enumeration.h"
#include "folders/tree/folder_list.h"
#include "frame/path_safety.h"

namespace tw::cli {
namespace {

constexpr int kDeepestLevel = 64;

struct ListDeleter {
  void operator()(FolderList* list) const { FreeFolderList(list); }
};

void Collect(const FolderRecord& mailbox, const std::string& path, int level, std::vector<std::string>& paths) {
  std::unique_ptr<FolderList, ListDeleter> list(CreateFolderList());
  if (list == nullptr || level >= kDeepestLevel) return;
  FolderRecord search = mailbox;
  SetRecordText(search.path, path.empty() ? "\\" : path);
  for (uint32_t more = FindFirstSubFolder(search, list.get(), true); more != 0;
       more = FindNextSubFolder(search, list.get(), true)) {
    const std::string child = path + "\\" + std::string(RecordText(search.name));
    if (child.size() >= sizeof search.path) continue;
    paths.push_back(child);
    Collect(mailbox, child, level + 1, paths);
  }
  CloseSubFolderSearch(list.get());
}

}  // namespace

std::vector<std::string> MailboxFolderPaths(const std::string& postoffice, const std::string& mailbox) {
  std::vector<std::string> paths;
  if (!IsSafeStoreName(postoffice) || !IsSafeStoreName(mailbox)) return paths;
  FolderRecord record{};
  SetRecordText(record.mailbox, mailbox);
  SetRecordText(record.postoffice, postoffice);
  Collect(record, "", 0, paths);
  return paths;
}

}  // namespace tw::cli

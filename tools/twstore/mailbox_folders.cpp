#include "mailbox_folders.h"

#include "folders/operations/folder_record.h"
#include "folders/tree/sub_folder_paths.h"
#include "frame/path_safety.h"

namespace tw::cli {
namespace {

void Collect(FolderRecord& folder, int level, std::vector<std::string>& paths) {
  if (level >= kDeepestFolderLevel) return;
  for (const std::string& child : SubFolderPaths(folder)) {
    paths.push_back(child);
    SetRecordText(folder.path, child);
    Collect(folder, level + 1, paths);
  }
}

}  // namespace

std::vector<std::string> MailboxFolderPaths(const std::string& postoffice, const std::string& mailbox) {
  std::vector<std::string> paths;
  if (!IsSafeStoreName(postoffice) || !IsSafeStoreName(mailbox)) return paths;
  FolderRecord record{};
  SetRecordText(record.mailbox, mailbox);
  SetRecordText(record.postoffice, postoffice);
  Collect(record, 0, paths);
  return paths;
}

}  // namespace tw::cli

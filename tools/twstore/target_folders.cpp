#include "target_folders.h"

#include <string>
#include <string_view>
#include <vector>

#include "common/file_management.h"
#include "frame/path_safety.h"
#include "frame/store_paths.h"
#include "mail_folder.h"
#include "notify/notify_clients.h"
#include "platform/files.h"
#include "twstore.h"

namespace tw::cli {
namespace {

std::vector<std::string> Levels(std::string_view folder) {
  std::vector<std::string> levels;
  size_t at = 0;
  while (at <= folder.size()) {
    size_t end = folder.find_first_of("\\/", at);
    if (end == std::string_view::npos) end = folder.size();
    if (end > at) levels.emplace_back(folder.substr(at, end - at));
    at = end + 1;
  }
  return levels;
}

}  // namespace

int MakeTargetFolder(const FolderRequest& target, bool create, std::ostream& err) {
  if (!create) return 0;
  const std::vector<std::string> levels = Levels(target.folder);
  for (const std::string& level : levels) {
    if (!IsSafeStoreName(level)) {
      err << "twstore: folder '" << Named(target.folder) << "' cannot be made: '" << Named(level)
          << "' is not a folder name\n";
      return kExitRefused;
    }
  }
  if (!IsSafeStoreName(target.postoffice) || !IsSafeStoreName(target.mailbox) || levels.empty()) return 0;
  const std::string postoffice = PostofficeRoot(target.postoffice);
  if (postoffice.empty() || !IsDirectory(postoffice)) {
    err << "twstore: postoffice '" << Named(target.postoffice) << "' not found (" << Shown(postoffice)
        << "); --create makes mailboxes and folders, not postoffices\n";
    return kExitFailed;
  }
  const std::string mailbox = MailboxDirectory(target.postoffice, target.mailbox);
  if (!IsDirectory(mailbox)) {
    try {
      CreateDirectoryTree(mailbox);
    } catch (const std::exception&) {
      err << "twstore: mailbox '" << Named(target.mailbox) << "' could not be made at " << Shown(mailbox) << "\n";
      return kExitFailed;
    }
  }
  std::string parent = "\\";
  std::string directory = mailbox;
  for (const std::string& level : levels) {
    directory += "\\" + level;
    if (!IsDirectory(directory)) {
      FolderRecord record{};
      if (!FillRecordField(record.mailbox, target.mailbox) || !FillRecordField(record.postoffice, target.postoffice) ||
          !FillRecordField(record.path, parent) || !FillRecordField(record.name, level) || StoreFolderAdd(&record) == 0) {
        err << "twstore: folder '" << Named(level) << "' could not be made in " << Shown(ParentDirectory(directory))
            << "\n";
        return kExitFailed;
      }
    }
    parent = parent == "\\" ? "\\" + level : parent + "\\" + level;
  }
  return 0;
}

}  // namespace tw::cli

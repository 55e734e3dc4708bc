#include "folders/operations/folder_record.h"

#include "frame/path_safety.h"
#include "frame/settings.h"
#include "frame/store_paths.h"

namespace tw {

bool IsSafeFolderRecord(const FolderRecord& record) {
  const std::string_view name = RecordText(record.name);
  return IsSafeStoreName(RecordText(record.mailbox)) && IsSafeStoreName(RecordText(record.postoffice)) &&
         IsSafeFolderPath(RecordText(record.path)) && (name.empty() || IsSafeStoreName(name));
}

std::optional<std::string> RecordDirectory(const FolderRecord& record) {
  if (!IsSafeFolderRecord(record)) return std::nullopt;
  std::string directory = FolderDirectoryForRecord(std::string(RecordText(record.mailbox)),
                                                   std::string(RecordText(record.postoffice)),
                                                   std::string(RecordText(record.path)));
  if (directory.empty()) return std::nullopt;
  const std::string_view name = RecordText(record.name);
  if (!name.empty()) directory += "\\" + std::string(name);
  return directory;
}

std::optional<std::string> MailboxRoot(const FolderRecord& record) {
  const std::string_view mailbox = RecordText(record.mailbox), postoffice = RecordText(record.postoffice);
  if (!IsSafeStoreName(mailbox) || !IsSafeStoreName(postoffice)) return std::nullopt;
  return MailRoot() + "\\" + std::string(postoffice) + "\\MAILROOT\\" + std::string(mailbox);
}

}  // namespace tw

#include "folders/operations/folder_record.h"

#include "common/text.h"
#include "frame/path_safety.h"
#include "frame/settings.h"
#include "frame/store_paths.h"

namespace tw {

bool IsSafeFolderRecord(const FolderRecord& record) {
  const std::string_view name = RecordText(record.name);
  return IsSafeStoreName(RecordText(record.mailbox)) && IsSafeStoreName(RecordText(record.postoffice)) &&
         IsSafeFolderPath(RecordText(record.path)) && (name.empty() || IsSafeStoreName(name));
}

bool NamesPublicRoot(std::string_view path) {
  return EqualsNoCase(path, "\\Public") || EqualsNoCase(path, "/Public") || EqualsNoCase(path, "Public");
}

void StandardiseTopLevelName(FolderRecord& record) {
  const std::string path(RecordText(record.path));
  if (AtTopLevel(path)) SetRecordText(record.name, SpecialNameForm(path, std::string(RecordText(record.name))));
}

std::optional<std::string> MailboxRoot(const FolderRecord& record) {
  const std::string_view mailbox = RecordText(record.mailbox), postoffice = RecordText(record.postoffice);
  if (!IsSafeStoreName(mailbox) || !IsSafeStoreName(postoffice)) return std::nullopt;
  return MailRoot() + "\\" + std::string(postoffice) + "\\MAILROOT\\" + std::string(mailbox);
}

}  // namespace tw

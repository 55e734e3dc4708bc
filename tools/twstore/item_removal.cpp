#include "item_removal.h"

#include "common/text.h"
#include "index/items/index_item_property_container.h"
#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"
#include "index/lifecycle/direct_operations.h"
#include "platform/files.h"
#include "platform/last_error.h"

namespace tw::cli {
namespace {

// A flag word, not a substring: "\DELETEDX" or "\UNDELETED" are other words.
bool HasFlagWord(std::string_view flags, std::string_view word) {
  size_t at = 0;
  while (at < flags.size()) {
    size_t end = flags.find(' ', at);
    if (end == std::string_view::npos) end = flags.size();
    if (EqualsNoCase(flags.substr(at, end - at), word)) return true;
    at = end + 1;
  }
  return false;
}

}  // namespace

int RemoveIndexedItems(const MailFolder& folder, const std::vector<std::string>& ids, bool deleteFiles,
                       std::ostream& out, std::ostream& err) {
  for (const std::string& batch : IdBatches(ids)) {
    if (DirectRemoveItems(folder.postoffice, folder.mailbox, folder.folder, batch) != 1) {
      err << "twstore: the items could not be removed from the index of folder " << Quoted(folder.folder) << " (in "
          << Shown(folder.directory) << ")\n";
      return kExitFailed;
    }
  }
  out << "removed " << ids.size() << (ids.size() == 1 ? " item" : " items") << " from the index\n";
  if (!deleteFiles) return 0;
  size_t deleted = 0;
  int rc = 0;
  for (const std::string& id : ids) {
    // The IDs came out of the index and are plain message file names.
    if (platform::DeleteFile(InFolder(folder.directory, id))) {
      ++deleted;
      continue;
    }
    const uint32_t code = platform::GetLastError();
    if (code == platform::kErrorFileNotFound || code == platform::kErrorPathNotFound) continue;
    err << "twstore: cannot delete " << Shown(InFolder(folder.directory, id)) << ": " << platform::ErrorMessage(code)
        << " (error " << code << ")\n";
    rc = kExitFailed;
  }
  out << "deleted " << deleted << (deleted == 1 ? " message file" : " message files") << "\n";
  return rc;
}

bool DeletedItemIds(const MailFolder& folder, std::vector<std::string>& ids) {
  ids.clear();
  FolderIndex index(folder);
  if (!index.Open(kOpenAsAService)) return false;
  for (const IndexItemPropertyContainer* item : index.Index().ByUid())
    if (HasFlagWord(item->GetText("FLAGSTATUS"), "\\DELETED")) ids.push_back(item->GetText(kKeyId));
  return true;
}

}  // namespace tw::cli

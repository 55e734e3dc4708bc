// twstore expunge: removes the messages flagged \DELETED, index entries and
// files, as a client's expunge does.
#include "commands.h"
#include "item_removal.h"
#include "mail_folder.h"

namespace tw::cli {

int Expunge(const FolderRequest& request, std::ostream& out, std::ostream& err) {
  MailFolder folder;
  if (const int rc = ResolveMailFolder(request, folder, err); rc != 0) return rc;
  std::vector<std::string> ids;
  if (!DeletedItemIds(folder, ids)) {
    err << "twstore: the index of " << Shown(folder.directory) << " could not be opened\n";
    return kExitFailed;
  }
  if (ids.empty()) {
    out << "no item is flagged \\DELETED\n";
    return 0;
  }
  return RemoveIndexedItems(folder, ids, true, out, err);
}

}  // namespace tw::cli

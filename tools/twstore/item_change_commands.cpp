// twstore flag and twstore remove: changes to listed items through the
// direct calls, which hold the folder's block and keep _FOLDER.DAT in step.
// Every ID is resolved against the index first, so that a mistyped list
// changes nothing.
#include <algorithm>

#include "commands.h"
#include "index/lifecycle/direct_operations.h"
#include "index/file/store_index_serialiser.h"
#include "item_removal.h"
#include "mail_folder.h"
#include "platform/files.h"
#include "platform/last_error.h"

namespace tw::cli {

namespace {

// The longest change text an item's flags are worth.
constexpr size_t kMaxChange = 1000;

// Blank-separated words, each "+word", "-word" or (replacing the flags)
// "word"; a word is letters, digits and "_$.-" with an optional leading
// "\". Nothing else: the update takes "SIZE=" texts for another purpose.
bool AcceptableChange(const std::string& change, std::string& why) {
  if (change.size() > kMaxChange) {
    why = "the change is longer than " + std::to_string(kMaxChange) + " characters";
    return false;
  }
  bool anyWord = false;
  size_t at = 0;
  while (at < change.size()) {
    const size_t end = std::min(change.find(' ', at), change.size());
    std::string_view word(change.data() + at, end - at);
    at = end + 1;
    if (word.empty()) continue;
    if (word[0] == '+' || word[0] == '-') word.remove_prefix(1);
    if (!word.empty() && word[0] == '\\') word.remove_prefix(1);
    bool ok = !word.empty();
    for (char c : word) {
      const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      if (!letterOrDigit && c != '_' && c != '$' && c != '.' && c != '-') ok = false;
    }
    if (!ok) {
      why = "the change must be words like +\\SEEN or -\\FLAGGED, separated by blanks";
      return false;
    }
    anyWord = true;
  }
  if (!anyWord) why = "the change is empty (e.g. --change \"+\\SEEN -\\FLAGGED\")";
  return anyWord;
}

}  // namespace

int FlagItems(const FlagRequest& request, std::ostream& out, std::ostream& err) {
  MailFolder folder;
  if (const int rc = ResolveMailFolder(request.target, folder, err); rc != 0) return rc;
  std::string why;
  if (!AcceptableChange(request.change, why)) {
    err << "twstore: " << why << "\n";
    return kExitRefused;
  }
  std::vector<std::string> ids;
  if (!ResolveItemIds(folder, request.ids, ids, err)) return kExitRefused;
  for (const std::string& batch : IdBatches(ids)) {
    if (DirectUpdateItems(folder.postoffice, folder.mailbox, folder.folder, batch, request.change) != 1) {
      err << "twstore: the flags of items in folder " << Quoted(folder.folder) << " could not be changed (in "
          << Shown(folder.directory) << ")\n";
      return kExitFailed;
    }
  }
  out << "changed the flags of " << ids.size() << (ids.size() == 1 ? " item" : " items") << "\n";
  return 0;
}

int RemoveItems(const RemoveRequest& request, std::ostream& out, std::ostream& err) {
  MailFolder folder;
  if (const int rc = ResolveMailFolder(request.target, folder, err); rc != 0) return rc;
  std::vector<std::string> ids;
  if (!ResolveItemIds(folder, request.ids, ids, err)) return kExitRefused;
  return RemoveIndexedItems(folder, ids, request.deleteFiles, out, err);
}

}  // namespace tw::cli

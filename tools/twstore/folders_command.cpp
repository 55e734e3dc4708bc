// twstore folders: a mailbox's folder tree as the folder lists give it, with
// the size each folder's index records, depth first. The tree is listed
// first and sized after, so that a terminal can be shown how far the sizing
// (which reads every folder's index) has got.
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "common/file_management.h"
#include "folders/operations/folder_record.h"
#include "folders/operations/folder_size.h"
#include "folders/tree/folder_enumeration.h"
#include "folders/tree/folder_list.h"
#include "json_writer.h"
#include "mail_folder.h"
#include "progress_bar.h"

namespace tw::cli {
namespace {

// Deeper trees are not listed further.
constexpr int kDeepestLevel = 64;
// Fewer folders are sized before anyone would wait for them.
constexpr size_t kFoldersWorthProgress = 20;

struct FolderLine {
  std::string path;
  uint32_t bytes = 0;
};

struct ListDeleter {
  void operator()(FolderList* list) const { FreeFolderList(list); }
};


// The folders below `path`, depth first, not yet sized.
void Collect(const FolderRecord& parent, const std::string& path, int level, std::vector<FolderLine>& lines) {
  std::unique_ptr<FolderList, ListDeleter> list(CreateFolderList());
  if (list == nullptr || level >= kDeepestLevel) return;
  FolderRecord search = parent;
  SetRecordText(search.path, path.empty() ? "\\" : path);
  search.name[0] = '\0';
  for (uint32_t more = FindFirstSubFolder(search, list.get(), true); more != 0;
       more = FindNextSubFolder(search, list.get(), true)) {
    const std::string child = path + "\\" + std::string(RecordText(search.name));
    if (child.size() >= sizeof search.path) continue;
    lines.push_back({child, 0});
    Collect(parent, child, level + 1, lines);
  }
  CloseSubFolderSearch(list.get());
}

}  // namespace

int ListFolders(const FoldersRequest& request, const Console& console, std::ostream& out, std::ostream& err) {
  std::string mailboxDirectory;
  if (const int rc = FindMailbox(request.postoffice, request.mailbox, mailboxDirectory, err); rc != 0) return rc;
  FolderRecord mailbox{};
  SetRecordText(mailbox.path, "\\");
  SetRecordText(mailbox.mailbox, request.mailbox);
  SetRecordText(mailbox.postoffice, request.postoffice);
  const std::optional<std::string> root = MailboxRoot(mailbox);
  if (!root || !IsDirectory(*root)) {
    err << "twstore: mailbox " << Quoted(request.mailbox) << " not found under postoffice "
        << Quoted(request.postoffice) << "\n";
    return kExitFailed;
  }
  std::vector<FolderLine> lines;
  Collect(mailbox, "", 0, lines);
  uint64_t total = 0;
  {
    ProgressBar bar(err, console.errIsTerminal && lines.size() >= kFoldersWorthProgress, console.errColumns,
                    "sizing folders", lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
      FolderRecord sized = mailbox;
      SetRecordText(sized.path, lines[i].path);
      sized.name[0] = '\0';
      lines[i].bytes = FolderSize(sized, false);
      total += lines[i].bytes;
      bar.Update(i + 1);
    }
  }
  if (request.json) {
    JsonWriter json;
    json.BeginObject().Key("postoffice").Text(request.postoffice).Key("mailbox").Text(request.mailbox);
    json.Key("folders").BeginArray();
    for (const FolderLine& line : lines)
      json.BeginObject().Key("path").Text(line.path).Key("bytes").Number(line.bytes).EndObject();
    json.EndArray().Key("total_bytes").Number(total).EndObject();
    out << json.Result() << "\n";
    return 0;
  }
  for (const FolderLine& line : lines) out << line.bytes << "\t" << Printable(line.path) << "\n";
  out << total << "\ttotal\n";
  return 0;
}

}  // namespace tw::cli

// twstore folders: a mailbox's folder tree as the folder lists give it, with
// the size each folder's index records, depth first. The tree is listed
// first and sized after, so that a terminal can be shown how far the sizing
// (which reads every folder's index) has got.
#include <string>
#include <vector>

#include "commands.h"
#include "common/file_management.h"
#include "folders/operations/folder_record.h"
#include "folders/operations/folder_size.h"
#include "json_writer.h"
#include "mail_folder.h"
#include "mailbox_folders.h"
#include "progress_bar.h"

namespace tw::cli {
namespace {

// Fewer folders are sized before anyone would wait for them.
constexpr size_t kFoldersWorthProgress = 20;

struct FolderLine {
  std::string path;
  uint32_t bytes = 0;
};

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
  for (std::string& path : MailboxFolderPaths(request.postoffice, request.mailbox)) lines.push_back({std::move(path), 0});
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

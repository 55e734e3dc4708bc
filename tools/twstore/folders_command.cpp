// twstore folders: a mailbox's folder tree as the folder lists give it, with
// the size each folder's index records, depth first.
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "common/file_management.h"
#include "folders/operations/folder_record.h"
#include "folders/operations/folder_size.h"
#include "folders/tree/folder_enumeration.h"
#include "folders/tree/folder_list.h"
#include "frame/path_safety.h"
#include "json_writer.h"
#include "mail_folder.h"

namespace tw::cli {
namespace {

// Deeper trees are not listed further.
constexpr int kDeepestLevel = 64;

struct FolderLine {
  std::string path;
  uint32_t bytes = 0;
};

struct ListDeleter {
  void operator()(FolderList* list) const { FreeFolderList(list); }
};


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
    FolderRecord sized = parent;
    SetRecordText(sized.path, child);
    sized.name[0] = '\0';
    lines.push_back({child, FolderSize(sized, false)});
    Collect(parent, child, level + 1, lines);
  }
  CloseSubFolderSearch(list.get());
}

}  // namespace

int ListFolders(const FoldersRequest& request, std::ostream& out, std::ostream& err) {
  if (!IsSafeStoreName(request.postoffice) || !IsSafeStoreName(request.mailbox)) {
    err << "twstore: the postoffice and the mailbox must each be one name\n";
    return kExitRefused;
  }
  FolderRecord mailbox{};
  SetRecordText(mailbox.path, "\\");
  SetRecordText(mailbox.mailbox, request.mailbox);
  SetRecordText(mailbox.postoffice, request.postoffice);
  const std::optional<std::string> root = MailboxRoot(mailbox);
  if (!root || !IsDirectory(*root)) {
    err << "twstore: there is no mailbox " << Named(request.mailbox) << " in " << Named(request.postoffice) << "\n";
    return kExitFailed;
  }
  std::vector<FolderLine> lines;
  Collect(mailbox, "", 0, lines);
  uint64_t total = 0;
  for (const FolderLine& line : lines) total += line.bytes;
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

#include "mail_folder.h"

#include <cstring>
#include <set>

#include "common/text.h"
#include "frame/path_safety.h"
#include "frame/settings.h"
#include "frame/store_paths.h"
#include "index/items/index_item.h"
#include "index/messages/mail_folder_scan.h"
#include "index/messages/message_item.h"
#include "index/items/sorted_store_index.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "notify/notify_clients.h"
#include "platform/files.h"
#include "platform/last_error.h"

namespace tw::cli {

namespace {

// More than any folder an operator names by hand; keeps a hostile list
// from costing unbounded memory.
constexpr size_t kMaxIds = 100000;
// Well below the direct calls' limit of 1000 entries a list.
constexpr size_t kBatchIds = 500;

bool IsDirectory(const std::string& path) {
  const uint32_t attributes = platform::GetFileAttributes(path);
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) != 0;
}

// The folder's components below the mailbox, "." dropped and ".." taken
// back; false when the name climbs above the mailbox.
bool FolderComponents(std::string_view folder, std::vector<std::string_view>& components) {
  components.clear();
  size_t at = 0;
  while (at <= folder.size()) {
    size_t end = folder.find_first_of("\\/", at);
    if (end == std::string_view::npos) end = folder.size();
    const std::string_view part = folder.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      components.push_back(part);
    } else if (components.empty()) {
      return false;
    } else {
      components.pop_back();
    }
  }
  return true;
}

// The first directory from the mailbox down to the folder that is a
// symbolic link; empty when there is none.
std::string LinkOnTheWay(const std::string& mailboxDirectory, std::string_view folder) {
  std::vector<std::string_view> components;
  if (!FolderComponents(folder, components)) return {};
  std::string path = mailboxDirectory;
  for (std::string_view component : components) {
    path += '\\';
    path += component;
    const uint32_t attributes = platform::GetFileAttributes(path);
    if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReparsePoint) != 0) return path;
  }
  return {};
}

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  return line;
}

std::string Named(std::string_view text) {
  constexpr size_t kLongest = 200;
  if (text.size() <= kLongest) return Printable(text);
  return Printable(text.substr(0, kLongest)) + "...";
}

std::string Quoted(std::string_view text) { return "'" + Named(text) + "'"; }

std::string LastErrorText() {
  const uint32_t code = platform::GetLastError();
  return std::string(platform::ErrorMessage(code)) + " (error " + std::to_string(code) + ")";
}

std::string Shown(const std::string& storePath) { return Printable(platform::ToSystemPath(storePath)); }

bool NamesMailboxItself(std::string_view folder) {
  std::vector<std::string_view> components;
  return FolderComponents(folder, components) && components.empty();
}

int FindMailbox(const std::string& postoffice, const std::string& mailbox, std::string& mailboxDirectory,
                std::ostream& err) {
  const std::string postofficeRoot = IsSafeStoreName(postoffice) ? PostofficeRoot(postoffice) : std::string();
  if (postofficeRoot.empty()) {
    err << "twstore: postoffice " << Quoted(postoffice)
        << " is not allowed: a postoffice is one name, without separators, and not . or ..\n";
    return kExitRefused;
  }
  if (!IsSafeStoreName(mailbox)) {
    err << "twstore: mailbox " << Quoted(mailbox)
        << " is not allowed: a mailbox is one name, without separators, and not . or ..\n";
    return kExitRefused;
  }
  if (!IsDirectory(postofficeRoot)) {
    const std::string mailRoot = MailRoot();
    if (postofficeRoot == mailRoot + "\\" + postoffice)
      err << "twstore: postoffice " << Quoted(postoffice) << " not found under the mail root " << Shown(mailRoot)
          << "\n";
    else
      err << "twstore: postoffice " << Quoted(postoffice) << " not found (no directory " << Shown(postofficeRoot)
          << ")\n";
    return kExitFailed;
  }
  mailboxDirectory = MailboxDirectory(postoffice, mailbox);
  if (mailboxDirectory.empty() || !IsDirectory(mailboxDirectory)) {
    err << "twstore: mailbox " << Quoted(mailbox) << " not found under postoffice " << Quoted(postoffice) << "\n";
    return kExitFailed;
  }
  return 0;
}

int ResolveMailFolder(const FolderRequest& request, MailFolder& folder, std::ostream& err) {
  if (request.folder.empty()) {
    err << "twstore: a folder name is needed (e.g. \\Inbox)\n";
    return kExitRefused;
  }
  // Messages delivered there would lie beside the mailbox's own files, in
  // no folder any service shows.
  if (NamesMailboxItself(request.folder)) {
    err << "twstore: folder " << Quoted(request.folder)
        << " is not allowed: it names the mailbox directory itself, not a folder in it\n";
    return kExitRefused;
  }
  // Checked before the folder's directory is resolved: that may create the
  // tree of a special folder.
  // Folders below the file and contact roots count as mail by their type,
  // but hold no messages.
  if (FolderTypeFromPath(request.folder) != kFolderMail || ContainsNoCase(request.folder, "$FILEROOT") ||
      ContainsNoCase(request.folder, "$VCFROOT")) {
    err << "twstore: folder " << Quoted(request.folder) << " is not a mail folder\n";
    return kExitRefused;
  }
  std::string mailboxDirectory;
  if (const int rc = FindMailbox(request.postoffice, request.mailbox, mailboxDirectory, err); rc != 0) return rc;
  const std::string directory = FolderDirectoryForIndex(request.postoffice, request.mailbox, request.folder);
  if (directory.empty()) {
    err << "twstore: folder " << Quoted(request.folder) << " is not allowed: it leads outside the mailbox\n";
    return kExitRefused;
  }
  if (!IsDirectory(directory)) {
    err << "twstore: folder " << Quoted(request.folder) << " not found in mailbox " << Quoted(request.mailbox)
        << " (no directory " << Shown(directory) << ")\n";
    return kExitFailed;
  }
  // Scans never follow links; neither does the tool.
  if (const std::string link = LinkOnTheWay(mailboxDirectory, request.folder); !link.empty()) {
    err << "twstore: folder " << Quoted(request.folder) << " is not used: " << Shown(link)
        << " is a symbolic link, and folders are not used through links\n";
    return kExitRefused;
  }
  folder = MailFolder{request.postoffice, request.mailbox, request.folder, directory};
  return 0;
}

FolderIndex::FolderIndex(const MailFolder& folder) : record_(std::make_unique<STOREINDEXTYPE>()) {
  std::memset(record_.get(), 0, sizeof *record_);
  InitRecord(*record_);
  SetRecordText(record_->postoffice, folder.postoffice);
  SetRecordText(record_->mailbox, folder.mailbox);
  SetRecordText(record_->folder, folder.folder);
  SetRecordPaths(*record_);
}

FolderIndex::~FolderIndex() {
  ReleaseRecord(*record_);
  // The release keeps the current item for a later open; nothing follows.
  delete static_cast<IndexItem*>(record_->currentItem);
  record_->currentItem = nullptr;
}

bool FolderIndex::Open(uint32_t mode) { return OpenRecord(*record_, mode) != 0; }

bool FolderIndex::Rebuild() {
  return ScanRecord(*record_, kScanExplicit) != 0 && Open(kReadAsItIs);
}

SORTEDSTOREINDEXTYPE& FolderIndex::Index() { return IndexOf(*record_); }

bool ResolveItemIds(const MailFolder& folder, std::string_view list, std::vector<std::string>& ids,
                    std::ostream& err) {
  ids.clear();
  std::vector<std::string> entries;
  size_t at = 0;
  while (at <= list.size()) {
    const size_t end = std::min(list.find(',', at), list.size());
    std::string entry = Trimmed(list.substr(at, end - at));
    at = end + 1;
    if (entry.empty()) continue;
    if (entries.size() == kMaxIds) {
      err << "twstore: --ids is not allowed: more than " << kMaxIds << " IDs in one list\n";
      return false;
    }
    entries.push_back(std::move(entry));
  }
  if (entries.empty()) {
    err << "twstore: --ids is empty: give UIDs or message file names, comma-separated\n";
    return false;
  }

  FolderIndex opened(folder);
  if (!opened.Open(kOpenAsAService)) {
    err << "twstore: the index of folder " << Quoted(folder.folder) << " could not be read (in "
        << Shown(folder.directory) << "; try: twstore reindex)\n";
    return false;
  }
  SORTEDSTOREINDEXTYPE& index = opened.Index();
  std::set<std::string> seen;
  bool allFound = true;
  for (const std::string& entry : entries) {
    const IndexItemPropertyContainer* item = nullptr;
    uint32_t uid = 0;
    if (ParseUidText(entry, uid)) {
      item = index.FindByUid(uid);
    } else if (IsIndexableMessageName(entry)) {
      item = index.FindById(entry);
    } else {
      err << "twstore: item " << Quoted(entry) << " is not allowed: it is neither a UID nor a message file name\n";
      allFound = false;
      continue;
    }
    if (item == nullptr) {
      err << "twstore: item " << Quoted(entry) << " not found in folder " << Quoted(folder.folder) << "\n";
      allFound = false;
      continue;
    }
    std::string id = item->GetText(kKeyId);
    if (seen.insert(id).second) ids.push_back(std::move(id));
  }
  return allFound;
}

std::vector<std::string> IdBatches(const std::vector<std::string>& ids) {
  std::vector<std::string> batches;
  for (size_t i = 0; i < ids.size(); ++i) {
    if (i % kBatchIds == 0) batches.emplace_back();
    if (!batches.back().empty()) batches.back() += ',';
    batches.back() += ids[i];
  }
  return batches;
}

}  // namespace tw::cli

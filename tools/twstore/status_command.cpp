// twstore status: the folder's cached counters (_FOLDER.DAT) by name.
#include <iomanip>

#include "commands.h"
#include "index/messages/folder_cache_files.h"
#include "mail_folder.h"

namespace tw::cli {

namespace {
void Line(std::ostream& out, const char* label, const std::string& value) {
  out << std::left << std::setw(12) << label << value << "\n";
}
}  // namespace

int ShowStatus(const FolderRequest& request, std::ostream& out, std::ostream& err) {
  MailFolder folder;
  if (const int rc = ResolveMailFolder(request, folder, err); rc != 0) return rc;
  FolderDetails details;
  const bool cached = GetCachedStatus(folder.postoffice, folder.mailbox, folder.folder, details) == 1;
  const uint32_t* c = details.counters;
  Line(out, "folder", Shown(folder.directory));
  Line(out, "items", std::to_string(c[FolderDetails::kItems]));
  Line(out, "seen", std::to_string(c[FolderDetails::kSeen]));
  Line(out, "recent", std::to_string(c[FolderDetails::kRecent]));
  Line(out, "answered", std::to_string(c[FolderDetails::kAnswered]));
  Line(out, "flagged", std::to_string(c[FolderDetails::kFlagged]));
  Line(out, "first seen", std::to_string(c[FolderDetails::kFirstSeen]));
  Line(out, "LASTUID", std::to_string(c[FolderDetails::kLastUid]));
  if (!cached) err << "twstore: no " << kFolderDatFile << " in the folder yet: the counters show 0\n";
  return 0;
}

}  // namespace tw::cli

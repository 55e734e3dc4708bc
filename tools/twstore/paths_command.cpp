#include <iomanip>

#include "commands.h"
#include "frame/store_paths.h"
#include "mail_folder.h"
#include "platform/files.h"

namespace tw::cli {

namespace {
void Line(std::ostream& out, const char* label, const std::string& storePath) {
  out << std::left << std::setw(22) << label;
  if (storePath.empty()) {
    out << "(refused)\n";
    return;
  }
  out << platform::ToSystemPath(storePath) << "\n";
}

const char* FolderTypeName(uint32_t type) {
  switch (type) {
    case kFolderContacts: return "contacts";
    case kFolderCalendar: return "calendar";
    case kFolderTasks: return "tasks";
    case kFolderFileRoot: return "file root";
    default: return "mail";
  }
}
}  // namespace

int ShowPaths(const PathsRequest& request, std::ostream& out, std::ostream& err) {
  const std::string postofficeRoot = PostofficeRoot(request.postoffice);
  if (postofficeRoot.empty()) {
    err << "twstore: postoffice '" << Printable(request.postoffice)
        << "' is not allowed: a postoffice is one name, without separators, and not . or ..\n";
    return 2;
  }
  Line(out, "postoffice root", postofficeRoot);
  if (request.mailbox.empty()) return 0;
  const std::string mailboxRoot = FolderDirectoryViaPostofficeRoot(request.postoffice, request.mailbox, nullptr);
  Line(out, "mailbox", mailboxRoot);
  if (mailboxRoot.empty()) return 2;
  const uint32_t type = FolderTypeFromPath(request.folder);
  const std::string index = FolderDirectoryForIndex(request.postoffice, request.mailbox, request.folder);
  Line(out, "folder (index)", index);
  Line(out, "folder (record)", FolderDirectoryForRecord(request.mailbox, request.postoffice, request.folder));
  Line(out, "folder (scan)", FolderDirectoryViaPostofficeRoot(request.postoffice, request.mailbox, &request.folder));
  out << std::left << std::setw(22) << "folder type" << type << " (" << FolderTypeName(type) << ")\n";
  return index.empty() ? 2 : 0;
}

}  // namespace tw::cli

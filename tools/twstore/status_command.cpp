// twstore status: the folder's cached counters (_FOLDER.DAT) by name.
#include <iomanip>

#include "commands.h"
#include "index/messages/folder_cache_files.h"
#include "json_writer.h"
#include "mail_folder.h"
#include "platform/files.h"

namespace tw::cli {

namespace {
// Wide enough for the longest label below.
constexpr int kLabelWidth = 29;

void Line(std::ostream& out, const char* label, const std::string& value) {
  out << std::left << std::setw(kLabelWidth) << label << value << "\n";
}
}  // namespace

// Each word under what it counts: word 8 is the \RECENT count of the last
// record save or scan, while a direct insert raises words 9 and 10 instead,
// so "recent" alone would read 0 right after a delivery.
int ShowStatus(const FolderRequest& request, std::ostream& out, std::ostream& err) {
  MailFolder folder;
  if (const int rc = ResolveMailFolder(request, folder, err); rc != 0) return rc;
  FolderDetails details;
  const bool cached = GetCachedStatus(folder.postoffice, folder.mailbox, folder.folder, details) == 1;
  const uint32_t* c = details.counters;
  if (request.json) {
    // The keys are the lines' labels in snake_case; "counted" says whether
    // the folder has counters at all.
    JsonWriter json;
    json.BeginObject().Key("postoffice").Text(folder.postoffice).Key("mailbox").Text(folder.mailbox);
    json.Key("folder").Text(folder.folder).Key("directory").Text(platform::ToSystemPath(folder.directory));
    json.Key("counted").Bool(cached);
    json.Key("items").Number(c[FolderDetails::kItems]).Key("seen").Number(c[FolderDetails::kSeen]);
    json.Key("answered").Number(c[FolderDetails::kAnswered]).Key("flagged").Number(c[FolderDetails::kFlagged]);
    json.Key("first_seen_ordinal").Number(c[FolderDetails::kFirstSeen]);
    json.Key("recent_last_counted").Number(c[FolderDetails::kRecent]);
    json.Key("recent_arrivals_since_count").Number(c[9]).Key("recent_arrivals_unclamped").Number(c[10]);
    json.Key("lastuid").Number(c[FolderDetails::kLastUid]).EndObject();
    out << json.Result() << "\n";
    return out.good() ? 0 : kExitFailed;
  }
  Line(out, "folder", Shown(folder.directory));
  Line(out, "items", std::to_string(c[FolderDetails::kItems]));
  Line(out, "seen", std::to_string(c[FolderDetails::kSeen]));
  Line(out, "answered", std::to_string(c[FolderDetails::kAnswered]));
  Line(out, "flagged", std::to_string(c[FolderDetails::kFlagged]));
  Line(out, "first seen (ordinal)", std::to_string(c[FolderDetails::kFirstSeen]));
  Line(out, "recent (last counted)", std::to_string(c[FolderDetails::kRecent]));
  Line(out, "recent arrivals since count", std::to_string(c[9]));
  Line(out, "recent arrivals, unclamped", std::to_string(c[10]));
  Line(out, "LASTUID", std::to_string(c[FolderDetails::kLastUid]));
  if (!cached) err << "twstore: no " << kFolderDatFile << " in the folder yet: the counters show 0\n";
  return 0;
}

}  // namespace tw::cli

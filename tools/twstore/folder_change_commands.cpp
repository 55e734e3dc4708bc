// twstore mkdir, rename, copy and rmdir: the store's folder operations on
// the folder names an operator types. The store decides what it allows; the
// tool only refuses what can never be meant (an empty name, the mailbox
// root, "." or "..") before it asks.
#include <istream>
#include <sstream>
#include <string>
#include <string_view>

#include "commands.h"
#include "common/file_management.h"
#include "frame/path_safety.h"
#include "frame/store_paths.h"
#include "json_writer.h"
#include "mail_folder.h"
#include "services/remote/remote_session.h"
#include "twstore.h"

namespace tw::cli {
namespace {

// A folder as the store's records name it: the parent path below the
// mailbox and the folder's own name in it.
struct FolderPlace {
  std::string path;
  std::string name;
  std::string Shown() const { return path == "\\" ? path + name : path + "\\" + name; }
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Splits the folder text at its last separator (trailing ones dropped).
// False, with the reason on `err`, when nothing is left or a component is
// "." or "..": those lead back to the mailbox root or out of the folder.
bool ParsePlace(std::string_view option, std::string_view text, FolderPlace& place, std::ostream& err) {
  while (!text.empty() && IsSeparator(text.back())) text.remove_suffix(1);
  if (text.empty()) {
    err << "twstore: " << option << " needs a folder name below the mailbox (e.g. Inbox\\Work); "
        << "an empty name would be the mailbox root\n";
    return false;
  }
  for (size_t at = 0; at <= text.size();) {
    size_t end = at;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    const std::string_view part = text.substr(at, end - at);
    if (part == "." || part == ".." || part.find('\0') != std::string_view::npos) {
      err << "twstore: " << option << " " << Quoted(text) << " is not allowed: no component may be . or ..\n";
      return false;
    }
    at = end + 1;
  }
  size_t last = text.size();
  while (last > 0 && !IsSeparator(text[last - 1])) --last;
  place.name = std::string(text.substr(last));
  std::string_view parent = text.substr(0, last);
  while (!parent.empty() && IsSeparator(parent.back())) parent.remove_suffix(1);
  // Special trees ("$FILEROOT/...") are named without a leading separator.
  if (parent.empty()) {
    place.path = "\\";
  } else if (IsSeparator(parent.front()) || parent.front() == '$') {
    place.path = std::string(parent);
  } else {
    place.path = "\\" + std::string(parent);
  }
  return true;
}

bool CheckNames(const std::string& postoffice, const std::string& mailbox, std::ostream& err) {
  if (IsSafeStoreName(postoffice) && IsSafeStoreName(mailbox)) return true;
  err << "twstore: the postoffice and the mailbox must each be one name, without separators, and not . or .. "
      << "(postoffice " << Quoted(postoffice) << ", mailbox " << Quoted(mailbox) << ")\n";
  return false;
}

bool FillRecord(FolderRecord& record, const std::string& postoffice, const std::string& mailbox,
                const FolderPlace& place, std::ostream& err) {
  record = FolderRecord{};
  if (FillRecordField(record.postoffice, postoffice) && FillRecordField(record.mailbox, mailbox) &&
      FillRecordField(record.path, place.path) && FillRecordField(record.name, place.name))
    return true;
  err << "twstore: folder " << Quoted(place.Shown()) << " is not allowed: a name is too long for the store\n";
  return false;
}

// One side of a command: its names checked, its record filled.
struct Side {
  FolderPlace place;
  FolderRecord record{};
};

bool PrepareSide(std::string_view option, const std::string& postoffice, const std::string& mailbox,
                 const std::string& folder, Side& side, std::ostream& err) {
  return CheckNames(postoffice, mailbox, err) && ParsePlace(option, folder, side.place, err) &&
         FillRecord(side.record, postoffice, mailbox, side.place, err);
}

void ReportJson(JsonWriter& json, bool done, std::ostream& out) {
  json.Key("done").Bool(done).EndObject();
  out << json.Result() << "\n";
}

JsonWriter StartJson(const char* command, const FolderChangeRequest& request, const FolderPlace& place) {
  JsonWriter json;
  json.BeginObject().Key("command").Text(command).Key("postoffice").Text(request.postoffice);
  json.Key("mailbox").Text(request.mailbox).Key("folder").Text(place.Shown());
  return json;
}

std::string InMailbox(const std::string& mailbox, const std::string& postoffice) {
  return "mailbox " + Named(mailbox) + " of postoffice " + Named(postoffice);
}

// What the store refuses without saying why, when the tool can tell: a
// missing postoffice, mailbox, parent folder or (`mustExist`) folder.
// Empty when all are there, and when the call went to a remote host, whose
// store this machine cannot see.
std::string MissingPart(const std::string& postoffice, const std::string& mailbox, const FolderPlace& place,
                        bool mustExist) {
  if (remote::RemoteHostInForce()) return {};
  std::ostringstream why;
  std::string mailboxDirectory;
  if (FindMailbox(postoffice, mailbox, mailboxDirectory, why) != 0) {
    std::string text = why.str();
    constexpr std::string_view kPrefix = "twstore: ";
    if (text.compare(0, kPrefix.size(), kPrefix) == 0) text.erase(0, kPrefix.size());
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  const std::string parent = FolderDirectoryForRecord(mailbox, postoffice, place.path);
  if (parent.empty()) return {};
  if (place.path != "\\" && !IsDirectory(parent))
    return "folder " + Quoted(place.path) + " not found in mailbox " + Quoted(mailbox);
  if (mustExist && !IsDirectory(parent + "\\" + place.name))
    return "folder " + Quoted(place.Shown()) + " not found in mailbox " + Quoted(mailbox);
  return {};
}

// The store's refusal: what is missing when the tool can tell, else the
// usual reasons.
void ReportRefusal(const std::string& what, const std::string& missing, const char* usualReasons,
                   std::ostream& err) {
  const bool remote = remote::RemoteHostInForce();
  err << (remote ? "twstore: the remote store did not " : "twstore: the store did not ") << what;
  if (!missing.empty())
    err << ": " << missing << "\n";
  else
    err << ". Usual reasons: "
        << (remote ? "the host key has no \"Address\", the service cannot be reached or refuses the credentials; "
                   : "")
        << usualReasons << "\n";
}

// rename and copy: the same two records, another store call.
int MoveOrCopy(const char* command, const FolderMoveRequest& request, std::ostream& out, std::ostream& err) {
  const FolderChangeRequest& from = request.source;
  const std::string& toPostoffice = request.toPostoffice.empty() ? from.postoffice : request.toPostoffice;
  const std::string& toMailbox = request.toMailbox.empty() ? from.mailbox : request.toMailbox;
  Side source;
  Side destination;
  if (!PrepareSide("--folder", from.postoffice, from.mailbox, from.folder, source, err) ||
      !PrepareSide("--to", toPostoffice, toMailbox, request.to, destination, err))
    return kExitRefused;
  const bool copy = std::string_view(command) == "copy";
  const bool done = copy ? StoreFolderCopy(&source.record, &destination.record) != 0
                         : StoreFolderEdit(&source.record, &destination.record) != 0;
  if (from.json) {
    JsonWriter json = StartJson(command, from, source.place);
    json.Key("to_postoffice").Text(toPostoffice).Key("to_mailbox").Text(toMailbox);
    json.Key("to").Text(destination.place.Shown());
    ReportJson(json, done, out);
  }
  const std::string what = Named(source.place.Shown()) + " of " + InMailbox(from.mailbox, from.postoffice) +
                           " to " + Named(destination.place.Shown()) + " of " + InMailbox(toMailbox, toPostoffice);
  if (!done) {
    std::string missing = MissingPart(from.postoffice, from.mailbox, source.place, true);
    if (missing.empty()) missing = MissingPart(toPostoffice, toMailbox, destination.place, false);
    ReportRefusal(std::string(copy ? "copy" : "rename") + " folder " + what, missing,
                  copy ? "the folder does not exist; the new name exists already in some letter case; the new "
                         "parent does not exist; the new place lies inside the folder"
                       : "the folder does not exist; the new name exists already in some letter case; the new "
                         "parent does not exist; the new place lies inside the folder; a \"Public\" path; another "
                         "process holds a block file in the tree",
                  err);
    return kExitFailed;
  }
  if (!from.json) out << (copy ? "copied folder " : "renamed folder ") << what << "\n";
  return 0;
}

// An answer is kept up to kLongestAnswer bytes; a line longer than
// kLongestLine is no answer at all, and is not read to its end.
constexpr size_t kLongestAnswer = 16;
constexpr size_t kLongestLine = 4096;

std::string ReadAnswer(std::istream& in) {
  std::string answer;
  size_t read = 0;
  for (int c = in.get(); c != std::char_traits<char>::eof() && c != '\n'; c = in.get()) {
    if (++read > kLongestLine) return {};
    if (answer.size() < kLongestAnswer) answer += static_cast<char>(c);
  }
  const size_t first = answer.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  answer = answer.substr(first, answer.find_last_not_of(" \t\r") - first + 1);
  for (char& c : answer)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return answer;
}

}  // namespace

bool ConfirmRemoval(const std::string& folder, const std::string& mailbox, std::istream& answers,
                    std::ostream& questions) {
  questions << "Remove folder " << Named(folder) << " of mailbox " << Named(mailbox)
            << " and everything in it? [y/N] " << std::flush;
  const std::string answer = ReadAnswer(answers);
  return answer == "y" || answer == "yes";
}

int MakeFolder(const FolderChangeRequest& request, std::ostream& out, std::ostream& err) {
  Side side;
  if (!PrepareSide("--folder", request.postoffice, request.mailbox, request.folder, side, err)) return kExitRefused;
  const bool done = StoreFolderAdd(&side.record) != 0;
  if (request.json) {
    JsonWriter json = StartJson("mkdir", request, side.place);
    ReportJson(json, done, out);
  }
  if (!done) {
    ReportRefusal("create folder " + Named(side.place.Shown()) + " in " +
                      InMailbox(request.mailbox, request.postoffice),
                  MissingPart(request.postoffice, request.mailbox, side.place, false),
                  "a folder of that name exists already in some letter case; its parent or the mailbox does not "
                  "exist; \"Public\" at the top is kept for the public folders",
                  err);
    return kExitFailed;
  }
  if (!request.json) out << "created folder " << Named(side.place.Shown()) << "\n";
  return 0;
}

int RenameFolder(const FolderMoveRequest& request, std::ostream& out, std::ostream& err) {
  return MoveOrCopy("rename", request, out, err);
}

int CopyFolderTree(const FolderMoveRequest& request, std::ostream& out, std::ostream& err) {
  return MoveOrCopy("copy", request, out, err);
}

int RemoveFolderTree(const FolderRemoveRequest& request, const Prompt& prompt, std::ostream& out,
                     std::ostream& err) {
  const FolderChangeRequest& target = request.target;
  Side side;
  if (!PrepareSide("--folder", target.postoffice, target.mailbox, target.folder, side, err)) return kExitRefused;
  if (!request.yes) {
    // A script has no one to ask: it must say --yes.
    if (!prompt.interactive || prompt.answers == nullptr || prompt.questions == nullptr) {
      err << "twstore: rmdir removes folder " << Named(side.place.Shown())
          << " with everything in it; without a terminal to ask on, give --yes\n";
      return kExitRefused;
    }
    if (!ConfirmRemoval(side.place.Shown(), target.mailbox, *prompt.answers, *prompt.questions)) {
      err << "twstore: folder " << Quoted(side.place.Shown()) << " was not removed\n";
      return kExitRefused;
    }
  }
  const bool done = StoreFolderRemove(&side.record) != 0;
  if (target.json) {
    JsonWriter json = StartJson("rmdir", target, side.place);
    ReportJson(json, done, out);
  }
  if (!done) {
    ReportRefusal("remove folder " + Named(side.place.Shown()) + " of " +
                      InMailbox(target.mailbox, target.postoffice),
                  MissingPart(target.postoffice, target.mailbox, side.place, true),
                  "the folder does not exist; a \"Public\" path; another process holds a block file in the tree",
                  err);
    return kExitFailed;
  }
  if (!target.json) out << "removed folder " << Named(side.place.Shown()) << "\n";
  return 0;
}

}  // namespace tw::cli

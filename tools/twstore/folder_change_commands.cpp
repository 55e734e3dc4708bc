// twstore mkdir, rename, copy and rmdir: the store's folder operations on
// the folder names an operator types. The store decides what it allows; the
// tool only refuses what can never be meant (an empty name, the mailbox
// root, "." or "..") before it asks.
#include <istream>
#include <string>
#include <string_view>

#include "commands.h"
#include "frame/path_safety.h"
#include "json_writer.h"
#include "mail_folder.h"
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
      err << "twstore: " << option << " \"" << Named(text) << "\" is not allowed: no component may be . or ..\n";
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
  err << "twstore: the postoffice and the mailbox must each be one name (postoffice \"" << Named(postoffice)
      << "\", mailbox \"" << Named(mailbox) << "\")\n";
  return false;
}

// Copies a text into a record field; false when it does not fit, as a cut
// name would name another folder.
template <size_t N>
bool SetField(char (&field)[N], const std::string& text) {
  if (text.size() >= N) return false;
  text.copy(field, text.size());
  field[text.size()] = '\0';
  return true;
}

bool FillRecord(FolderRecord& record, const std::string& postoffice, const std::string& mailbox,
                const FolderPlace& place, std::ostream& err) {
  record = FolderRecord{};
  if (SetField(record.postoffice, postoffice) && SetField(record.mailbox, mailbox) &&
      SetField(record.path, place.path) && SetField(record.name, place.name))
    return true;
  err << "twstore: a name is too long for the store (folder \"" << Named(place.Shown()) << "\")\n";
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
    err << "twstore: the store did not " << (copy ? "copy" : "rename") << " folder " << what
        << ". Usual reasons: the folder does not exist; the new name exists already in some letter case; "
        << "the new parent does not exist; the new place lies inside the folder"
        << (copy ? "" : "; a \"Public\" path; another process holds a block file in the tree") << "\n";
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
    err << "twstore: the store did not create folder " << Named(side.place.Shown()) << " in "
        << InMailbox(request.mailbox, request.postoffice)
        << ". Usual reasons: a folder of that name exists already in some letter case; its parent or the mailbox "
           "does not exist; \"Public\" at the top is kept for the public folders\n";
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
      err << "twstore: folder " << Named(side.place.Shown()) << " was not removed\n";
      return kExitRefused;
    }
  }
  const bool done = StoreFolderRemove(&side.record) != 0;
  if (target.json) {
    JsonWriter json = StartJson("rmdir", target, side.place);
    ReportJson(json, done, out);
  }
  if (!done) {
    err << "twstore: the store did not remove folder " << Named(side.place.Shown()) << " of "
        << InMailbox(target.mailbox, target.postoffice)
        << ". Usual reasons: the folder does not exist; a \"Public\" path; another process holds a block file "
           "in the tree\n";
    return kExitFailed;
  }
  if (!target.json) out << "removed folder " << Named(side.place.Shown()) << "\n";
  return 0;
}

}  // namespace tw::cli

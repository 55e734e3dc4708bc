// twstore export: a folder, or with --recursive every mail folder of a
// mailbox, written out as a Maildir (Maildir++ for a tree) or as mbox, with
// the flags the store keeps. Message bytes go out exactly as the store
// holds them. A Maildir export skips messages the destination has already
// (by their unique name), so it can be run again.
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "commands.h"
#include "common/file_management.h"
#include "common/text.h"
#include "formats/maildir_folders.h"
#include "formats/maildir_info.h"
#include "formats/mbox_writer.h"
#include "formats/store_flags.h"
#include "frame/store_paths.h"
#include "index/items/index_item_property_container.h"
#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"
#include "mail_folder.h"
#include "mailbox_folders.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/last_error.h"
#include "platform/system_info.h"
#include "progress_bar.h"

namespace tw::cli {
namespace {

constexpr size_t kReadPiece = 256 * 1024;

struct StoredMessage {
  std::string id;
  std::string flags;
  std::string from;
};

// The folder's messages in UID order, read as a service opens the folder.
bool FolderMessages(const MailFolder& folder, std::vector<StoredMessage>& messages) {
  FolderIndex index(folder);
  if (!index.Open(kOpenAsAService)) return false;
  for (const IndexItemPropertyContainer* item : index.Index().ByUid())
    messages.push_back({item->GetText(kKeyId), item->GetText("FLAGSTATUS"), item->GetText("FROM")});
  return true;
}

// The envelope sender of an mbox "From " line: the address in angle
// brackets, or a From text that is one word.
std::string EnvelopeSender(std::string_view from) {
  const size_t open = from.rfind('<');
  const size_t close = from.rfind('>');
  if (open != std::string_view::npos && close != std::string_view::npos && close > open + 1)
    return std::string(from.substr(open + 1, close - open - 1));
  return from.find_first_of(" \t") == std::string_view::npos ? std::string(from) : std::string();
}

std::string UniqueOf(std::string_view id) {
  return EndsWithNoCase(id, ".MAI") ? std::string(id.substr(0, id.size() - 4)) : std::string(id);
}

// Streams one message file to `sink`; `first` receives the first piece
// before anything is passed on. False with the reason written.
template <typename Sink>
bool ReadMessage(const std::string& path, platform::FileInfo& info, Sink&& sink, std::ostream& err) {
  platform::FileHandle file =
      platform::OpenFile(path, platform::Access::Read, platform::Share::All, platform::Disposition::OpenExisting);
  if (!file.IsOpen() || !platform::GetFileInfo(path, info)) {
    err << "twstore: cannot read " << Shown(path) << ": " << LastErrorText() << "\n";
    return false;
  }
  std::vector<char> piece(kReadPiece);
  bool first = true;
  for (;;) {
    size_t got = 0;
    if (!file.Read(piece.data(), piece.size(), got)) {
      err << "twstore: cannot read " << Shown(path) << ": " << LastErrorText() << "\n";
      return false;
    }
    if (!sink(std::string_view(piece.data(), got), first)) return false;
    first = false;
    if (got < piece.size()) return true;
  }
}

class MaildirOut {
 public:
  bool Open(const std::string& directory, std::ostream& err) {
    directory_ = directory;
    try {
      for (const char* sub : {"\\tmp", "\\new", "\\cur"}) CreateDirectoryTree(directory + sub);
    } catch (const std::exception&) {
      err << "twstore: cannot make the Maildir " << Shown(directory) << ": " << LastErrorText() << "\n";
      return false;
    }
    for (const char* sub : {"\\cur", "\\new"}) {
      platform::FolderFiles listing;
      if (!listing.Open(directory + sub)) continue;
      for (const platform::FolderEntry& entry : listing.List("*", platform::NameMode::AnyName))
        present_.insert(std::string(formats::SplitMaildirFileName(entry.name).unique));
    }
    return cur_.Open(directory + "\\cur");
  }

  // 1 written, 0 there already, -1 failed.
  int Write(const std::string& source, const StoredMessage& message, std::ostream& err) {
    const std::string unique = UniqueOf(message.id);
    if (present_.count(unique) != 0) return 0;
    const std::string temporary = ".twexport-" + std::to_string(platform::CurrentProcessId()) + "-" +
                                  std::to_string(++serial_) + ".tmp";
    const std::string temporaryPath = directory_ + "\\cur\\" + temporary;
    platform::FileInfo info;
    bool ok;
    {
      // Exact names in cur/: it is listed once, when opened.
      platform::FileHandle out = cur_.CreateExact(temporary);
      ok = out.IsOpen() && ReadMessage(
                               source, info,
                               [&](std::string_view bytes, bool) {
                                 if (bytes.empty() || out.Write(bytes.data(), bytes.size())) return true;
                                 err << "twstore: cannot write " << Shown(temporaryPath) << ": " << LastErrorText()
                                     << "\n";
                                 return false;
                               },
                               err);
      if (!out.IsOpen()) err << "twstore: cannot write " << Shown(temporaryPath) << ": " << LastErrorText() << "\n";
    }
    const std::string name = formats::MaildirExportName(unique, message.flags);
    if (ok) cur_.SetWriteTimeExact(temporary, info.lastWriteTime);
    if (ok && !cur_.RenameToAnyName(temporary, name)) {
      err << "twstore: cannot name " << Shown(temporaryPath) << " " << Named(name) << ": " << LastErrorText() << "\n";
      ok = false;
    }
    if (!ok) {
      platform::DeleteFile(temporaryPath);
      return -1;
    }
    present_.insert(unique);
    return 1;
  }

 private:
  std::string directory_;
  platform::FolderFiles cur_;
  std::set<std::string> present_;
  uint64_t serial_ = 0;
};

class MboxOut {
 public:
  bool Open(const std::string& path, std::ostream& err) {
    path_ = path;
    const std::string parent = ParentDirectory(path);
    try {
      if (!parent.empty()) CreateDirectoryTree(parent);
    } catch (const std::exception&) {
    }
    file_ = platform::OpenFile(path, platform::Access::Write, platform::Share::Read, platform::Disposition::CreateNew);
    if (!file_.IsOpen()) {
      err << "twstore: cannot create " << Shown(path) << ": " << LastErrorText()
          << (platform::GetLastError() == platform::kErrorFileExists ? " (an export never writes over a file)" : "")
          << "\n";
      return false;
    }
    writer_ = std::make_unique<formats::MboxWriter>(
        [this](std::string_view bytes) { return bytes.empty() || file_.Write(bytes.data(), bytes.size()); });
    return true;
  }

  int Write(const std::string& source, const StoredMessage& message, std::ostream& err) {
    platform::FileInfo info;
    bool begun = false;
    const bool read = ReadMessage(
        source, info,
        [&](std::string_view bytes, bool first) {
          if (first) {
            formats::MboxOutgoing outgoing;
            const std::string sender = EnvelopeSender(message.from);
            outgoing.sender = sender;
            outgoing.time = platform::UnixFromFileTime(info.lastWriteTime);
            outgoing.flags = formats::ParseStoreFlags(message.flags);
            outgoing.lineEnd = formats::LineEndOf(bytes);
            begun = writer_->BeginMessage(outgoing);
          }
          return begun && writer_->MessageBytes(bytes);
        },
        err);
    if (read && begun && writer_->EndMessage()) return 1;
    if (read) err << "twstore: cannot write " << Shown(path_) << ": " << LastErrorText() << "\n";
    return -1;
  }

 private:
  std::string path_;
  platform::FileHandle file_;
  std::unique_ptr<formats::MboxWriter> writer_;
};

template <typename Out>
int ExportFolder(const MailFolder& folder, Out& out, const Console& console, uint64_t& written, uint64_t& present,
                 std::ostream& err) {
  std::vector<StoredMessage> messages;
  if (!FolderMessages(folder, messages)) {
    err << "twstore: the index of " << Shown(folder.directory) << " could not be opened\n";
    return kExitFailed;
  }
  ProgressBar bar(err, console.errIsTerminal && messages.size() > 1, console.errColumns, "exporting",
                  messages.size());
  for (size_t i = 0; i < messages.size(); ++i) {
    bar.Clear();
    const int result = out.Write(InFolder(folder.directory, messages[i].id), messages[i], err);
    if (result < 0) return kExitFailed;
    (result == 1 ? written : present) += 1;
    bar.Update(i + 1);
  }
  bar.Clear();
  return 0;
}

// Where a folder of a tree goes: "" for Inbox, ".Sub.Deeper" for Sub\Deeper.
std::optional<std::string> TreeName(const std::string& storePath) {
  std::string_view path = storePath;
  while (!path.empty() && (path.front() == '\\' || path.front() == '/')) path.remove_prefix(1);
  return formats::MaildirFromStoreFolder(path);
}

}  // namespace

int Export(const ExportRequest& request, const Console& console, std::ostream& out, std::ostream& err) {
  if (request.format != "maildir" && request.format != "mbox") {
    err << "twstore: unknown format \"" << Named(request.format) << "\" (maildir or mbox)\n";
    return kExitRefused;
  }
  if (request.destination.empty()) {
    err << "twstore: a destination is needed\n";
    return kExitRefused;
  }
  const bool mbox = request.format == "mbox";
  // Each folder and where it goes.
  std::vector<std::pair<FolderRequest, std::string>> jobs;
  if (!request.recursive) {
    jobs.emplace_back(request.target, request.destination);
  } else {
    for (const std::string& path : MailboxFolderPaths(request.target.postoffice, request.target.mailbox)) {
      if (FolderTypeFromPath(path) != kFolderMail) continue;  // calendars, contacts and tasks hold no messages
      const std::optional<std::string> name = TreeName(path);
      if (!name) {
        err << "twstore: folder " << Named(path) << " has no Maildir++ name; left out\n";
        continue;
      }
      std::string destination = request.destination;
      if (mbox)
        destination += "\\" + (name->empty() ? std::string("INBOX") : name->substr(1)) + ".mbox";
      else if (!name->empty())
        destination += "\\" + *name;
      jobs.emplace_back(FolderRequest{request.target.postoffice, request.target.mailbox, path}, destination);
    }
    if (jobs.empty()) {
      err << "twstore: mailbox '" << Named(request.target.mailbox) << "' of postoffice '"
          << Named(request.target.postoffice) << "' has no mail folder to export\n";
      return kExitFailed;
    }
  }

  for (const auto& [target, destination] : jobs) {
    MailFolder folder;
    if (const int rc = ResolveMailFolder(target, folder, err); rc != 0) return rc;
    uint64_t written = 0, present = 0;
    int rc;
    if (mbox) {
      MboxOut writer;
      if (!writer.Open(destination, err)) return kExitFailed;
      rc = ExportFolder(folder, writer, console, written, present, err);
    } else {
      MaildirOut writer;
      if (!writer.Open(destination, err)) return kExitFailed;
      rc = ExportFolder(folder, writer, console, written, present, err);
    }
    out << "exported " << written << (written == 1 ? " message of " : " messages of ") << Named(target.folder) << " to "
        << Printable(platform::ToSystemPath(destination)) << " (" << present << " already there)\n";
    if (rc != 0) return rc;
  }
  return 0;
}

}  // namespace tw::cli

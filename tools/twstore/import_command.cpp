// twstore import: messages from a Maildir (cur and new, never tmp), a whole
// Maildir++ tree, an mbox file or a single message file, into the store's
// folders, through the importer (temporaries, batches, the direct insert),
// so indexes, counters, sizes and notifications stay right. Each message's
// store name comes from its source, so running an import again brings
// nothing twice.
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "commands.h"
#include "common/file_management.h"
#include "formats/import_names.h"
#include "formats/maildir_folders.h"
#include "formats/maildir_info.h"
#include "formats/mbox_reader.h"
#include "formats/store_flags.h"
#include "mail_folder.h"
#include "message_importer.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/folder_files.h"
#include "platform/last_error.h"
#include "progress_bar.h"
#include "target_folders.h"

namespace tw::cli {
namespace {

// The index keeps sizes as 32-bit numbers.
constexpr uint64_t kMaxMessageBytes = 0x7FFFFFFF;
constexpr size_t kReadPiece = 256 * 1024;
// Enough of a message to tell a rewritten mbox from the one imported.
constexpr size_t kIdentityBytes = 512;

enum class SourceFormat { Maildir, Mbox, Eml };

std::string Stem(std::string_view fileName) {
  const size_t dot = fileName.rfind('.');
  return std::string(dot == std::string_view::npos || dot == 0 ? fileName : fileName.substr(0, dot));
}

bool IsMaildir(const std::string& path) {
  return IsDirectory(path + "\\cur") || IsDirectory(path + "\\new");
}

// Copies one open file into the importer. False when the import must stop.
bool CopyMessage(platform::FileHandle& file, MessageImporter& importer) {
  std::vector<char> piece(kReadPiece);
  for (;;) {
    size_t got = 0;
    if (!file.Read(piece.data(), piece.size(), got)) return false;
    if (got > 0 && !importer.Write(std::string_view(piece.data(), got))) return false;
    if (got < piece.size()) return true;
  }
}

// A message file: skipped when the folder has its name, else copied in with
// its flags and its file's time.
void ImportFile(const platform::FolderFiles& directory, const std::string& shownDirectory,
                const std::string& fileName, const std::string& storeName, const std::string& flags,
                MessageImporter& importer, std::ostream& err) {
  if (importer.Has(storeName)) {
    importer.Skip();
    return;
  }
  platform::FileInfo info;
  platform::FileHandle file = directory.OpenForReading(fileName, &info, platform::NameMode::AnyName);
  if (!file.IsOpen()) {
    err << "twstore: cannot read " << Named(shownDirectory + "/" + fileName) << ": " << LastErrorText() << "\n";
    return;
  }
  if (info.size > kMaxMessageBytes) {
    err << "twstore: " << Named(shownDirectory + "/" + fileName) << " is larger than 2 GiB; left out\n";
    return;
  }
  if (!importer.Begin(storeName)) return;
  if (!CopyMessage(file, importer)) {
    if (!importer.Stopped()) err << "twstore: cannot read " << Named(shownDirectory + "/" + fileName) << "\n";
    importer.Abandon();
    return;
  }
  importer.End(flags, info.lastWriteTime);
}

struct MaildirEntry {
  std::string name;
  formats::MaildirSubdir subdir;
};

// The messages of one Maildir folder (new and cur), by name: Maildir names
// begin with their delivery time, so this is about arrival order.
int ImportMaildirFolder(const std::string& maildir, const MailFolder& folder, const Console& console,
                        ImportCounts& total, std::ostream& err) {
  std::vector<MaildirEntry> entries;
  for (const auto& [sub, kind] : {std::pair{"new", formats::MaildirSubdir::New},
                                  std::pair{"cur", formats::MaildirSubdir::Cur}}) {
    platform::FolderFiles directory;
    if (!directory.Open(maildir + "\\" + sub)) continue;
    for (const platform::FolderEntry& entry : directory.List("*", platform::NameMode::AnyName))
      if (entry.kind == platform::EntryKind::File && entry.name[0] != '.') entries.push_back({entry.name, kind});
  }
  std::sort(entries.begin(), entries.end(),
            [](const MaildirEntry& a, const MaildirEntry& b) { return a.name < b.name; });

  MessageImporter importer(folder, err);
  ProgressBar bar(err, console.errIsTerminal && entries.size() > 1, console.errColumns, "importing", entries.size());
  platform::FolderFiles news, curs;
  news.Open(maildir + "\\new");
  curs.Open(maildir + "\\cur");
  for (size_t i = 0; i < entries.size() && !importer.Stopped(); ++i) {
    const MaildirEntry& entry = entries[i];
    const bool isNew = entry.subdir == formats::MaildirSubdir::New;
    const std::string storeName = formats::ImportFileName(formats::MaildirSourceKey(entry.name));
    const std::string flags = formats::StoreFlagsText(formats::FlagsFromMaildirName(entry.name, entry.subdir).flags);
    bar.Clear();
    ImportFile(isNew ? news : curs, Shown(maildir + (isNew ? "\\new" : "\\cur")), entry.name, storeName, flags,
               importer, err);
    bar.Update(i + 1);
  }
  bar.Clear();
  const bool delivered = importer.Finish();
  total += importer.Counts();
  return delivered && !importer.Stopped() ? 0 : kExitFailed;
}

// Feeds the mbox reader's messages to the importer. A message's name needs
// its first bytes, so they are gathered before it begins.
class MboxImport : public formats::MboxSink {
 public:
  MboxImport(MessageImporter& importer, std::string stem) : importer_(importer), stem_(std::move(stem)) {}

  void BeginMessage(const formats::MboxEnvelope& envelope) override {
    ++ordinal_;
    envelope_ = envelope;
    start_ = envelope.sender + " " + (envelope.time ? std::to_string(*envelope.time) : "-") + "\n";
    startLength_ = start_.size();
    state_ = State::Gathering;
  }
  void MessageBytes(std::string_view bytes) override {
    if (state_ == State::Gathering) {
      start_.append(bytes);
      if (start_.size() - startLength_ >= kIdentityBytes) Decide();
    } else if (state_ == State::Copying) {
      if (!importer_.Write(bytes)) state_ = State::Skipping;
    }
  }
  void EndMessage(const formats::MessageFlags& flags) override {
    if (state_ == State::Gathering) Decide();
    if (state_ == State::Copying) {
      const uint64_t time = envelope_.time ? platform::FileTimeFromUnix(*envelope_.time) : 0;
      importer_.End(formats::StoreFlagsText(flags), time);
    }
    state_ = State::Idle;
  }

 private:
  enum class State { Idle, Gathering, Copying, Skipping };

  void Decide() {
    const std::string_view message = std::string_view(start_).substr(startLength_);
    const std::string identity = start_.substr(0, startLength_) + std::string(message.substr(0, kIdentityBytes));
    const std::string name = formats::ImportFileName(formats::MboxSourceKey(stem_, ordinal_, identity));
    state_ = State::Skipping;
    if (importer_.Stopped()) return;
    if (importer_.Has(name)) {
      importer_.Skip();
      return;
    }
    if (importer_.Begin(name) && importer_.Write(message)) state_ = State::Copying;
  }

  MessageImporter& importer_;
  std::string stem_;
  uint64_t ordinal_ = 0;
  formats::MboxEnvelope envelope_;
  std::string start_;
  size_t startLength_ = 0;
  State state_ = State::Idle;
};

int ImportMbox(const std::string& path, bool mboxo, const MailFolder& folder, const Console& console,
               ImportCounts& total, std::ostream& err) {
  platform::FileHandle file =
      platform::OpenFile(path, platform::Access::Read, platform::Share::Read, platform::Disposition::OpenExisting);
  if (!file.IsOpen()) {
    err << "twstore: cannot read " << Shown(path) << ": " << LastErrorText() << "\n";
    return kExitFailed;
  }
  MessageImporter importer(folder, err);
  MboxImport sink(importer, Stem(FileName(path)));
  formats::MboxReader reader(sink, mboxo ? formats::MboxQuoting::Mboxo : formats::MboxQuoting::Mboxrd);
  const int64_t size = file.Size();
  ProgressBar bar(err, console.errIsTerminal, console.errColumns, "importing", size > 0 ? size : 0);
  std::vector<char> piece(kReadPiece);
  uint64_t done = 0;
  bool readOk = true;
  for (;;) {
    size_t got = 0;
    if (!file.Read(piece.data(), piece.size(), got)) {
      readOk = false;
      break;
    }
    reader.Feed(std::string_view(piece.data(), got));
    done += got;
    bar.Update(done);
    if (got < piece.size() || importer.Stopped()) break;
  }
  if (readOk && !importer.Stopped()) reader.Finish();
  bar.Clear();
  if (!readOk) err << "twstore: cannot read " << Shown(path) << ": " << LastErrorText() << "\n";
  if (reader.BytesBeforeFirstMessage() > 0)
    err << "twstore: " << reader.BytesBeforeFirstMessage() << " bytes before the first \"From \" line of "
        << Shown(path) << " are no message; left out\n";
  if (reader.MessageCount() == 0 && readOk)
    err << "twstore: " << Shown(path) << " holds no message (an mbox starts with a \"From \" line)\n";
  const bool delivered = importer.Finish();
  total += importer.Counts();
  return readOk && delivered && !importer.Stopped() && reader.MessageCount() > 0 ? 0 : kExitFailed;
}

int ImportEml(const std::string& path, const MailFolder& folder, ImportCounts& total, std::ostream& err) {
  platform::FolderFiles directory;
  const std::string parent = ParentDirectory(path).empty() ? "." : ParentDirectory(path);
  if (!directory.Open(parent)) {
    err << "twstore: cannot read " << Shown(path) << ": " << LastErrorText() << "\n";
    return kExitFailed;
  }
  const std::string name = FileName(path).empty() ? path : FileName(path);
  MessageImporter importer(folder, err);
  ImportFile(directory, Shown(parent), name, formats::ImportFileName(formats::EmlSourceKey(Stem(name))),
             formats::StoreFlagsText(formats::MessageFlags{.recent = true}), importer, err);
  const bool delivered = importer.Finish();
  total += importer.Counts();
  return delivered && !importer.Stopped() && importer.Counts().failed == 0 &&
                 importer.Counts().imported + importer.Counts().skipped == 1
             ? 0
             : kExitFailed;
}

std::optional<SourceFormat> DetectFormat(const ImportRequest& request, std::ostream& err) {
  if (request.format == "maildir") return SourceFormat::Maildir;
  if (request.format == "mbox") return SourceFormat::Mbox;
  if (request.format == "eml") return SourceFormat::Eml;
  if (!request.format.empty()) {
    err << "twstore: unknown format \"" << Named(request.format) << "\" (maildir, mbox or eml)\n";
    return std::nullopt;
  }
  if (IsDirectory(request.source)) {
    if (IsMaildir(request.source)) return SourceFormat::Maildir;
    err << "twstore: " << Shown(request.source) << " is a directory without cur/ or new/, not a Maildir\n";
    return std::nullopt;
  }
  char head[5] = {};
  size_t got = 0;
  platform::FileHandle file = platform::OpenFile(request.source, platform::Access::Read, platform::Share::Read,
                                                 platform::Disposition::OpenExisting);
  if (!file.IsOpen()) {
    err << "twstore: cannot read " << Shown(request.source) << ": " << LastErrorText() << "\n";
    return std::nullopt;
  }
  file.Read(head, sizeof head, got);
  return std::string_view(head, got) == "From " ? SourceFormat::Mbox : SourceFormat::Eml;
}

// The Maildir++ sub-folders below `root`, each with its store folder path.
std::vector<std::pair<std::string, std::string>> MaildirTree(const std::string& root, std::ostream& err) {
  std::vector<std::pair<std::string, std::string>> folders;
  platform::FolderFiles directory;
  if (!directory.Open(root)) return folders;
  for (const platform::FolderEntry& entry : directory.List("*", platform::NameMode::AnyName)) {
    if (entry.kind != platform::EntryKind::Directory || !formats::IsMaildirFolderDirectory(entry.name)) continue;
    const std::optional<std::string> storeFolder = formats::StoreFolderFromMaildir(entry.name);
    if (!storeFolder) {
      err << "twstore: " << Named(entry.name) << " is not a Maildir++ folder name; left out\n";
      continue;
    }
    folders.emplace_back(entry.name, storeFolder->empty() ? std::string(formats::kInboxFolder) : *storeFolder);
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

}  // namespace

int Import(const ImportRequest& request, const Console& console, std::ostream& out, std::ostream& err) {
  const std::optional<SourceFormat> format = DetectFormat(request, err);
  if (!format) return kExitRefused;
  if (request.recursive && *format != SourceFormat::Maildir) {
    err << "twstore: --recursive takes a Maildir++ directory\n";
    return kExitRefused;
  }
  // Where each source folder goes: the named folder, or with --recursive
  // the Maildir++ root into Inbox and ".A.B" into "A\B".
  std::vector<std::pair<std::string, FolderRequest>> targets;
  if (request.recursive) {
    targets.emplace_back(request.source, FolderRequest{request.target.postoffice, request.target.mailbox,
                                                       std::string(formats::kInboxFolder)});
    for (const auto& [directory, storeFolder] : MaildirTree(request.source, err))
      targets.emplace_back(request.source + "\\" + directory,
                           FolderRequest{request.target.postoffice, request.target.mailbox, storeFolder});
  } else {
    targets.emplace_back(request.source, request.target);
  }

  ImportCounts total;
  int rc = 0;
  for (const auto& [source, target] : targets) {
    if (const int made = MakeTargetFolder(target, request.create, err); made != 0) return made;
    MailFolder folder;
    if (const int resolved = ResolveMailFolder(target, folder, err); resolved != 0) {
      if (!request.create) err << "twstore: --create makes a missing mailbox or folder\n";
      return resolved;
    }
    const ImportCounts before = total;
    int result = 0;
    switch (*format) {
      case SourceFormat::Maildir: result = ImportMaildirFolder(source, folder, console, total, err); break;
      case SourceFormat::Mbox: result = ImportMbox(source, request.mboxo, folder, console, total, err); break;
      case SourceFormat::Eml: result = ImportEml(source, folder, total, err); break;
    }
    const uint64_t seen = total.Seen() - before.Seen();
    out << "imported " << total.imported - before.imported << " of " << seen
        << (seen == 1 ? " message into " : " messages into ") << Named(target.folder) << " (" << total.skipped - before.skipped
        << " already there)\n";
    if (result != 0) {
      rc = result;
      break;  // a full disk or a failing folder: nothing more is begun
    }
  }
  return rc;
}

}  // namespace tw::cli

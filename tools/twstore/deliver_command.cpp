// twstore deliver: copies message files into a mail folder under fresh
// names and indexes each with the direct insert, in the order of steps that
// no kill can leave half done. A message whose copy is in place but whose
// insert failed stays in the folder (the insert marks the folder for a
// rebuild), so nothing is lost.
#include <algorithm>
#include <cstdio>
#include <random>
#include <set>
#include <utility>

#include "commands.h"
#include "common/file_management.h"
#include "common/text.h"
#include "index/lifecycle/message_delivery.h"
#include "index/messages/message_item.h"
#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"
#include "mail_folder.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/notify_socket.h"
#include "platform/system_info.h"
#include "progress_bar.h"

namespace tw::cli {

namespace {

// The direct insert drops longer flag texts.
constexpr size_t kMaxFlags = 254;
constexpr uint64_t kMaxMessageBytes = 0x7FFFFFFF;  // the index keeps sizes as 32-bit numbers
constexpr uint64_t kLastName = 0xFFFFFFFF;
// The widest jump past a name another delivery took: far enough to pass a
// run of names others are handing out, small beside the name space.
constexpr uint64_t kWidestJump = 1 << 16;

// Blank-separated words of letters, digits and "_$.-", each with an
// optional leading "\". No commas (the insert reads them as one list
// entry per message) and no $TWGROUP (that makes the folder a group list).
bool AcceptableFlags(const std::string& flags, std::string& why) {
  if (flags.size() > kMaxFlags) {
    why = "the flags are longer than " + std::to_string(kMaxFlags) + " characters";
    return false;
  }
  size_t at = 0;
  while (at < flags.size()) {
    const size_t end = std::min(flags.find(' ', at), flags.size());
    std::string_view word(flags.data() + at, end - at);
    at = end + 1;
    if (word.empty()) continue;
    if (EqualsNoCase(word, "$TWGROUP") || EqualsNoCase(word, "\\$TWGROUP")) {
      why = "the flag $TWGROUP is reserved";
      return false;
    }
    if (word[0] == '\\') word.remove_prefix(1);
    bool ok = !word.empty();
    for (char c : word) {
      const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      if (!letterOrDigit && c != '_' && c != '$' && c != '.' && c != '-') ok = false;
    }
    if (!ok) {
      why = "the flags must be words like \\SEEN or \\FLAGGED, separated by blanks";
      return false;
    }
  }
  return true;
}

// Value of an "XXXXXXXX.MAI" name (8 hex digits, any case), or -1.
int64_t NameValue(std::string_view name) {
  if (name.size() != 12 || !EqualsNoCase(name.substr(8), ".MAI")) return -1;
  int64_t value = 0;
  for (char c : name.substr(0, 8)) {
    const char lower = ToLowerAscii(c);
    int digit = -1;
    if (lower >= '0' && lower <= '9') digit = lower - '0';
    if (lower >= 'a' && lower <= 'f') digit = lower - 'a' + 10;
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

// Hands out message names above every name the folder and its index
// already have, starting at the current time: names then sort in delivery
// order, which a rebuild from the files alone keeps as UID order.
// Concurrent deliveries start from the same point and take names from under
// each other; after each name found taken the namer jumps ahead by a
// random distance that doubles with every further miss, so it soon leaves
// the others' run of names behind. It gives up only when the names run out.
class MessageNamer {
 public:
  explicit MessageNamer(const MailFolder& folder)
      : random_(platform::CurrentProcessId() * 0x9E3779B97F4A7C15ull ^ platform::CurrentFileTime()) {
    next_ = static_cast<uint64_t>(std::max<int64_t>(0, platform::UnixFromFileTime(platform::CurrentFileTime())));
    platform::FindHandle find;
    platform::FindData data;
    for (bool more = find.First(InFolder(folder.directory, "*.MAI"), data); more; more = find.Next(data))
      Above(NameValue(data.name));
    FolderIndex index(folder);
    if (index.Open(5)) {
      for (const IndexItemPropertyContainer* item : index.Index().ByUid()) Above(NameValue(item->GetText(kKeyId)));
    }
    // A name the backup still holds may not go to a new message: a restore
    // would give it the removed message's UID and flags.
    const std::string backup = ReadWholeFileAsText(InFolder(folder.directory, "_index.xml.bak"));
    constexpr std::string_view kIdStart = "<ELEMENT ID=\"";
    for (size_t at = backup.find(kIdStart); at != std::string::npos; at = backup.find(kIdStart, at + 1)) {
      const size_t start = at + kIdStart.size();
      Above(NameValue(std::string_view(backup).substr(start, backup.find('"', start) - start)));
    }
  }

  // Empty when the names have run out.
  std::string Next() {
    misses_ = 0;
    return Name();
  }
  // The next name after the last one turned out to be taken.
  std::string NextAfterMiss() {
    if (misses_ < 16) ++misses_;
    next_ += random_() % std::min<uint64_t>(uint64_t{1} << misses_, kWidestJump);
    return Name();
  }

 private:
  std::string Name() {
    if (next_ > kLastName) return {};
    char name[16];
    std::snprintf(name, sizeof name, "%08llX.MAI", static_cast<unsigned long long>(next_++));
    return name;
  }
  void Above(int64_t value) {
    if (value >= 0 && static_cast<uint64_t>(value) >= next_) next_ = static_cast<uint64_t>(value) + 1;
  }
  uint64_t next_ = 0;
  std::mt19937_64 random_;
  int misses_ = 0;
};

// Checks a source before anything is delivered; empty when it is usable.
std::string SourceProblem(const std::string& path) {
  platform::FileInfo info;
  if (path.empty() || !platform::GetFileInfo(path, info)) return "cannot be read: " + LastErrorText();
  if ((info.attributes & platform::kAttrDirectory) != 0) return "is a directory";
  if (info.size > kMaxMessageBytes) return "is larger than 2 GiB";
  return {};
}

// Copies the source in under a name the folder's scan never indexes; the
// delivery then renames it to a fresh message name without replacing
// anything, so the message appears whole or not at all.
bool CopyIn(const std::string& source, const std::string& directory, std::string& temporary, std::string& why) {
  static uint64_t serial = 0;
  temporary = InFolder(directory, "_twstore-" + std::to_string(platform::CurrentProcessId()) + "-" +
                                      std::to_string(++serial) + ".TMP");
  if (!platform::CopyFile(source, temporary, true)) {
    why = "cannot copy it into the folder: " + LastErrorText();
    return false;
  }
  // The copy has the source's time; an old source would look like a
  // temporary file a killed deliverer left, which scans delete.
  platform::SetFileLastWriteTime(temporary, platform::CurrentFileTime());
  return true;
}

}  // namespace

int Deliver(const DeliverRequest& request, const Console& console, std::ostream& out, std::ostream& err) {
  MailFolder folder;
  if (const int rc = ResolveMailFolder(request.target, folder, err); rc != 0) return rc;
  std::string why;
  if (!AcceptableFlags(request.flags, why)) {
    err << "twstore: " << why << "\n";
    return kExitRefused;
  }
  // Every source is checked first: a typo must not leave half a delivery.
  bool sourcesUsable = true;
  for (const std::string& source : request.files) {
    const std::string problem = SourceProblem(source);
    if (problem.empty()) continue;
    err << "twstore: " << Named(source) << " " << problem << "\n";
    sourcesUsable = false;
  }
  if (!sourcesUsable) return kExitRefused;

  MessageNamer namer(folder);
  const DeliveryTarget target{folder.postoffice, folder.mailbox, folder.folder};
  ProgressBar bar(err, console.errIsTerminal && request.files.size() > 1, console.errColumns, "delivering",
                  request.files.size());
  size_t failed = 0;
  for (size_t i = 0; i < request.files.size(); ++i) {
    const std::string& source = request.files[i];
    std::string temporary;
    DeliveryResult delivered;
    if (CopyIn(source, folder.directory, temporary, why))
      delivered = DeliverMessageFile(
          target, temporary,
          [&namer, first = true]() mutable {
            if (!std::exchange(first, false)) return namer.NextAfterMiss();
            return namer.Next();
          },
          request.flags);
    else
      delivered.why = why;
    bar.Clear();
    if (delivered.outcome == InsertOutcome::Indexed) {
      out << delivered.name << "\t" << Printable(source) << std::endl;
    } else if (delivered.placed) {
      err << "twstore: " << Named(source) << " was saved as " << delivered.name << " but " << delivered.why << "\n";
      ++failed;
    } else {
      err << "twstore: " << Named(source) << ": " << delivered.why << "\n";
      ++failed;
    }
    bar.Update(i + 1);
  }
  bar.Clear();
  if (failed == 0) return 0;
  err << "twstore: " << failed << " of " << request.files.size() << " messages not delivered\n";
  return kExitFailed;
}

}  // namespace tw::cli

#include "message_importer.h"

#include "formats/header_cleanup.h"
#include "index/items/index_item_property_container.h"
#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/system_info.h"

namespace tw::cli {
namespace {

// A header longer than this is passed on as it is: cleaning it would mean
// holding a message of any size.
constexpr size_t kLongestCleanedHeader = 1 << 20;

// True when a blank line ("\n\n" or "\n\r\n", or one at the very start)
// ends at or after `from`.
bool EndsHeader(const std::string& text, size_t from) {
  if (from == 0 && (text.rfind("\n", 0) == 0 || text.rfind("\r\n", 0) == 0)) return true;
  for (size_t at = text.find('\n', from); at != std::string::npos; at = text.find('\n', at + 1)) {
    if (at + 1 < text.size() && text[at + 1] == '\n') return true;
    if (at + 2 < text.size() && text[at + 1] == '\r' && text[at + 2] == '\n') return true;
  }
  return false;
}

}  // namespace

MessageImporter::MessageImporter(const MailFolder& folder, std::ostream& err) : folder_(folder), err_(err) {
  FolderIndex index(folder_);
  if (index.Open(kReadAsItIs)) {
    for (const IndexItemPropertyContainer* item : index.Index().ByUid()) indexed_.insert(item->GetText(kKeyId));
  }
  // One listing for the whole import: looking names up one by one would
  // list the folder again after every file the import adds.
  if (directory_.Open(folder_.directory))
    for (const platform::FolderEntry& entry : directory_.List("*", platform::NameMode::AnyName))
      indexed_.insert(entry.name);
}

MessageImporter::~MessageImporter() {
  Abandon();
  for (const BatchMessage& message : batch_) platform::DeleteFile(InFolder(folder_.directory, message.temporaryName));
}

bool MessageImporter::Has(const std::string& name) const { return indexed_.count(name) != 0; }

bool MessageImporter::Begin(const std::string& name) {
  Abandon();
  if (stopped_) return false;
  // "_" first: no scan takes it for a message, and one a killed import
  // left is cleared by the folder's next scan once it is old.
  temporary_ = "_twstore-" + std::to_string(platform::CurrentProcessId()) + "-i" + std::to_string(++serial_) + ".TMP";
  file_ = directory_.CreateExact(temporary_);
  if (!file_.IsOpen()) {
    err_ << "twstore: cannot create " << Shown(InFolder(folder_.directory, temporary_)) << ": " << LastErrorText() << "\n";
    temporary_.clear();
    stopped_ = true;
    return false;
  }
  name_ = name;
  header_.clear();
  headerDone_ = false;
  return true;
}

bool MessageImporter::Put(std::string_view bytes) {
  if (bytes.empty() || file_.Write(bytes.data(), bytes.size())) return true;
  err_ << "twstore: cannot write " << Shown(InFolder(folder_.directory, temporary_)) << ": " << LastErrorText()
       << "; the import stops here\n";
  stopped_ = true;
  Abandon();
  return false;
}

bool MessageImporter::Write(std::string_view bytes) {
  if (!file_.IsOpen()) return false;
  if (headerDone_) return Put(bytes);
  // Only the new bytes (and the two before them) can complete the blank
  // line: looking through the whole header again for every line fed would
  // cost its square.
  const size_t from = header_.size() > 2 ? header_.size() - 2 : 0;
  header_.append(bytes);
  if (!EndsHeader(header_, from) && header_.size() < kLongestCleanedHeader) return true;
  headerDone_ = true;
  const std::string cleaned = formats::WithoutStoreHeaderFields(header_);
  header_.clear();
  return Put(cleaned);
}

bool MessageImporter::End(const std::string& flags, uint64_t fileTime) {
  if (!file_.IsOpen()) return false;
  if (!headerDone_) {
    headerDone_ = true;
    if (!Put(formats::WithoutStoreHeaderFields(header_))) return false;
  }
  file_.Close();
  batch_.push_back(BatchMessage{temporary_, name_, flags, fileTime});
  indexed_.insert(name_);  // a source that names it twice brings it once
  temporary_.clear();
  if (batch_.size() >= kMostMessagesPerBatch) return Deliver();
  return true;
}

void MessageImporter::Abandon() {
  if (file_.IsOpen()) file_.Close();
  if (!temporary_.empty()) platform::DeleteFile(InFolder(folder_.directory, temporary_));
  temporary_.clear();
}

bool MessageImporter::Deliver() {
  if (batch_.empty()) return true;
  const std::vector<DeliveryResult> results =
      DeliverMessageBatch({folder_.postoffice, folder_.mailbox, folder_.folder}, batch_);
  bool ok = true;
  for (const DeliveryResult& result : results) {
    if (result.outcome == InsertOutcome::Indexed) {
      ++counts_.imported;
    } else if (result.existed) {
      ++counts_.skipped;
    } else {
      ++counts_.failed;
      ok = false;
      err_ << "twstore: " << Named(result.name) << (result.placed ? " was saved but " : " was not imported: ")
           << result.why << "\n";
    }
  }
  batch_.clear();
  if (!ok) stopped_ = true;
  return ok;
}

bool MessageImporter::Finish() {
  Abandon();
  return Deliver();
}

}  // namespace tw::cli

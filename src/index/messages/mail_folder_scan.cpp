#include "index/messages/mail_folder_scan.h"

#include <algorithm>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "common/file_management.h"
#include "common/text.h"
#include "frame/store_paths.h"
#include "index/messages/folder_cache_files.h"
#include "index/messages/folder_leftovers.h"
#include "index/locking/index_file_blocking.h"
#include "index/items/index_item_property_container.h"
#include "index/file/index_salvage.h"
#include "index/file/index_save.h"
#include "index/messages/message_header.h"
#include "index/messages/message_header_cleanup.h"
#include "index/messages/message_index_settings.h"
#include "index/messages/message_item.h"
#include "index/messages/pending_deliveries.h"
#include "index/messages/message_name_check.h"
#include "index/file/reconcile_scans.h"
#include "index/file/serialiser_choice.h"
#include "index/items/sorted_store_index.h"
#include "index/file/store_index_serialiser.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/folder_files.h"

namespace tw {
namespace {

// The message files to walk, in name order.
struct Listing {
  std::vector<std::string> names;
  bool limited = false;  // a file beyond the limit exists and was not taken
};

// A name's place in the sort: its first eight folded bytes as a number
// (names hold no NUL, so a shorter name's zero padding sorts it first),
// the whole folded name only where those are equal.
struct SortKey {
  uint64_t head = 0;
  uint32_t index = 0;
};

uint64_t HeadOf(std::string_view folded) {
  uint64_t head = 0;
  for (size_t i = 0; i < 8; ++i)
    head = head << 8 | (i < folded.size() ? static_cast<unsigned char>(folded[i]) : 0u);
  return head;
}

// The message files of the folder in name order (any case). Names that
// begin with "_" or ".", that are too long or not UTF-8, and symbolic links
// (wherever they point) are not counted; at most `limit` are taken, and the
// listing is cut short only when there is more. The listing's own entry
// kinds suffice: sizes and times come with each file's open.
Listing ListMessageFiles(platform::FolderFiles& files, const std::string& folder, uint32_t limit) {
  Listing listing;
  std::vector<platform::FolderEntry> entries = files.List("*.MAI");
  std::vector<std::string> folded;
  std::vector<SortKey> keys;
  folded.reserve(entries.size());
  keys.reserve(entries.size());
  listing.names.reserve(entries.size());
  uint64_t counted = 0;
  for (platform::FolderEntry& entry : entries) {
    if (entry.kind == platform::EntryKind::Directory || entry.kind == platform::EntryKind::Link) continue;
    if (!IsIndexableMessageName(entry.name) || entry.name[0] == '_' || entry.name[0] == '.') continue;
    if (!KeepableMessageName(folder, entry.name)) continue;
    if (counted >= limit) {
      listing.limited = true;  // a file beyond the limit: the walk is cut short
      break;
    }
    ++counted;
    // Folded once, not at every comparison of the sort: the folded forms'
    // byte order is the store's listing order (any case, shorter first).
    folded.push_back(ToLower(entry.name));
    keys.push_back({HeadOf(folded.back()), static_cast<uint32_t>(keys.size())});
    listing.names.push_back(std::move(entry.name));
  }
  std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
    return a.head != b.head ? a.head < b.head : folded[a.index] < folded[b.index];
  });
  std::vector<std::string> sorted;
  sorted.reserve(keys.size());
  for (const SortKey& key : keys) sorted.push_back(std::move(listing.names[key.index]));
  listing.names = std::move(sorted);
  return listing;
}

int32_t ClampedSize(uint64_t size) { return size > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(size); }

bool WriteChangeFlag(const std::string& folder) {
  platform::FileHandle file = platform::OpenFile(InFolder(folder, kChangeFlagFile), platform::Access::Write,
                                                 platform::Share::All, platform::Disposition::CreateAlways);
  if (!file.IsOpen()) return false;
  const std::string_view text = kChangeFlagText;
  return file.Write(text.data(), text.size());
}

class FolderWalk {
 public:
  FolderWalk(SORTEDSTOREINDEXTYPE& index, const std::string& folder)
      : index_(index), folder_(folder), info_(std::make_unique<MessageHeaderInfo>()) {
    validity_ = FolderUidValidity(folder);
    branding_ = UidBrandingEnabled() != 0;
    options_.checkUids = branding_;
    options_.alternativeHasAttachments = MultipartAlternativeHasAttachments() == 1;
    options_.keepHeaderText = false;
  }

  // True when every file was walked; writes _DIRSIZE.TMP either way.
  bool Run() {
    RemoveFolderLeftovers(folder_);
    Listing listing;
    if (files_.Open(folder_)) listing = ListMessageFiles(files_, folder_, MaximumIndexRows());
    if (HasPendingDeliveries(folder_)) pending_ = ReadPendingDeliveries(folder_);
    uint64_t bytes = 0;
    RaiseToUidFloor();
    uidCounter_ = index_.LastUid();
    for (const std::string& name : listing.names) {
      if (IndexItemPropertyContainer* known = index_.FindById(name)) {
        platform::FileInfo facts;
        if (!files_.GetInfo(name, facts)) continue;  // gone since the listing
        bytes += facts.size;
        Refresh(*known, name, facts);
      } else {
        bytes += Add(name);
      }
    }
    WriteFolderSizeFile(folder_, bytes);
    return !listing.limited && !uidsExhausted_;
  }

 private:
  // Reads the file's header into info_, and its facts as the open file
  // gives them; false when it cannot be opened (gone, or held by a writer).
  bool Parse(const std::string& name, uint32_t expectedValidity, platform::FileInfo& facts) {
    platform::FileHandle file = files_.OpenForReading(name, &facts);
    if (!file.IsOpen()) return false;
    info_->Reset();
    SetBounded(info_->fileName, sizeof info_->fileName, name);
    // A delivery killed before it indexed its message still gives its flags.
    if (const auto pending = pending_.find(name); pending != pending_.end()) info_->initialFlags = pending->second;
    info_->expectedUidValidity = expectedValidity;
    ParseOpenHeaders(file, facts, *info_, options_);
    return true;
  }

  // The size of a file that is not read, for the folder's size total.
  uint64_t SizeOf(const std::string& name) const {
    platform::FileInfo facts;
    return files_.GetInfo(name, facts) ? facts.size : 0;
  }

  void Refresh(IndexItemPropertyContainer& item, const std::string& name, const platform::FileInfo& listed) {
    const uint32_t fileTime = platform::FileTimeToDosDateTime(listed.lastWriteTime);
    if (ItemModifiedDate(item) == fileTime && item.GetNumber(SizeKey()) == ClampedSize(listed.size)) return;
    platform::FileInfo facts;
    if (Parse(name, 0, facts)) RereadItemFromHeader(item, *info_);
  }

  // New messages get UIDs above every UID the folder handed out, also those
  // an index that was lost or restored from an older copy no longer shows.
  void RaiseToUidFloor() {
    FolderDetails counters;
    ReadFolderDatFile(InFolder(folder_, kFolderDatFile), counters);
    RaiseUidFloor(index_, counters.counters[FolderDetails::kLastUid], kFolderDatFile, folder_);
    RaiseUidFloor(index_, BackupIndexLastUid(folder_), "_index.xml.bak", folder_);
    if (index_.LastUid() < index_.uidFloor) index_.SetLastUid(index_.uidFloor);
  }

  // Indexes a new message file; its size, for the folder's size total.
  uint64_t Add(const std::string& name) {
    if (uidCounter_ >= kHighestUid) {
      uidsExhausted_ = true;  // the folder stays dirty rather than reuse a UID
      return SizeOf(name);
    }
    platform::FileInfo facts;
    if (!Parse(name, validity_, facts)) return SizeOf(name);
    if (ContainsNoCase(info_->initialFlags, "SEEN")) info_->read = 1;
    // A UID found in the file came from elsewhere: the folder numbers anew.
    info_->uidFromFile = 0;
    auto item = std::make_unique<IndexItemPropertyContainer>();
    // The texts go where a load of the index would put them: no block each.
    SetItemFromHeader(*item, *info_, false, &index_.loadedText);
    item->SetNumber(kKeyUid, static_cast<int32_t>(++uidCounter_));
    if (!index_.InsertAtEnd(item.get())) return facts.size;
    IndexItemPropertyContainer* added = item.release();
    if (branding_ && RemoveBrandingHeaders(folder_, name)) {
      // The rewritten file is shorter and newer; the item follows it so the
      // next scan does not read it again.
      platform::FileInfo now;
      if (platform::GetFileInfo(InFolder(folder_, name), now)) {
        added->SetText("MODIFIEDDATE", std::to_string(platform::FileTimeToDosDateTime(now.lastWriteTime)));
        added->SetNumber(SizeKey(), ClampedSize(now.size));
      }
    }
    return facts.size;
  }

  static PropertyKey SizeKey() {
    static const PropertyKey key = PropertyRegistry::Process().Lookup("SIZE");
    return key;
  }

  SORTEDSTOREINDEXTYPE& index_;
  const std::string& folder_;
  std::unique_ptr<MessageHeaderInfo> info_;
  HeaderParseOptions options_;
  uint32_t validity_ = 0;
  uint32_t uidCounter_ = 0;
  bool uidsExhausted_ = false;
  bool branding_ = false;
  std::map<std::string, std::string> pending_;
  platform::FolderFiles files_;
};

uint32_t BlockMode(int32_t reason) { return reason == 0 ? kMarkerBlock : kHeldBlock; }

// Releases a block this scan took, also when a load or save throws.
class TakenBlock {
 public:
  TakenBlock(std::string path, uint32_t mode) : path_(std::move(path)), mode_(mode) {}
  ~TakenBlock() {
    if (taken_) UnBlockIndexFileAccessEx(path_, mode_, &handle_);
  }
  TakenBlock(const TakenBlock&) = delete;
  TakenBlock& operator=(const TakenBlock&) = delete;
  bool Take() { return taken_ = WaitForAccessToIndexFileEx(path_, mode_, &handle_) != 0; }
  void Release() {
    if (taken_) UnBlockIndexFileAccessEx(path_, mode_, &handle_);
    taken_ = false;
  }

 private:
  std::string path_;
  uint32_t mode_;
  uintptr_t handle_ = 0;
  bool taken_ = false;
};

// The reconcile saves a walk cut short too: what was indexed keeps its UIDs.
bool ReconcileMail(SORTEDSTOREINDEXTYPE& index, const std::string& folder) {
  return IndexMailFolderBlockHeld(index, folder, true) == 1;
}

const bool g_installed = (InstallMailFolderScan(), true);

}  // namespace

bool WalkMailFolder(SORTEDSTOREINDEXTYPE& index, const std::string& folderPath) {
  if (FolderWalk(index, folderPath).Run()) return true;
  WriteChangeFlag(folderPath);
  return false;
}

int32_t IndexMailFolderBlockHeld(SORTEDSTOREINDEXTYPE& index, const std::string& folderPath, bool saveCutShort) {
  const bool complete = WalkMailFolder(index, folderPath);
  if (!complete && !saveCutShort) return 1;
  if (!SaveIndexBlockHeld(index, folderPath, kFolderTypeMail)) return 0;
  // Counters only from a walk that saw every file; such a walk has indexed
  // every delivery still pending.
  if (complete) {
    WriteFolderDatFile(InFolder(folderPath, kFolderDatFile), index.GetFolderDetails());
    ClearPendingDeliveries(folderPath);
  }
  return 1;
}

void InstallMailFolderScan() {
  (void)g_installed;
  Reconcile().mail = &ReconcileMail;
}

int32_t ScanMailFolder(SORTEDSTOREINDEXTYPE& index, const std::string& folderPath, int32_t reason, bool quiet) {
  if (folderPath.empty()) return 0;
  const std::string block = InFolder(folderPath, "_index.blk");
  const std::string indexFile = InFolder(folderPath, IndexFileName(kFolderTypeMail));
  const bool blockHeld = reason == kScanBlockHeld;
  if (!blockHeld) {
    // A block nobody lets go of means no scan now.
    TakenBlock probe(block, kMarkerBlock);
    if (!probe.Take()) return 0;
  }
  const bool hadIndexFile = FileExists(indexFile);
  TakenBlock held(block, BlockMode(reason));
  if (!blockHeld && !held.Take()) return 0;

  // Known messages keep their UIDs and flags through the saved index.
  index.Empty();
  index.SetLoadLevel(kLevelFull);
  const auto loader = ChooseLoadSerialiser(folderPath, kFolderTypeMail, false, false);
  const DeserialiseOptions load{1, false, quiet};
  // A load that failed leaves what could be salvaged from the file.
  loader->Deserialise(index, folderPath, kFolderTypeMail, kLevelFull, load);
  index.SetLoadLevel(kLevelFull);

  const int32_t result = IndexMailFolderBlockHeld(index, folderPath, false);
  held.Release();
  if (!hadIndexFile && FileExists(indexFile)) {
    platform::SetFileLastWriteTime(indexFile, platform::CurrentFileTime());
    RememberIndexFile(index, indexFile);
  }
  return result;
}

}  // namespace tw

#include "folders/operations/folder_move_copy.h"

#include <optional>
#include <string>

#include "common/file_management.h"
#include "common/text.h"
#include "folders/operations/folder_blocks.h"
#include "folders/operations/folder_place.h"
#include "folders/operations/folder_record.h"
#include "folders/tree/folder_index_flag.h"
#include "index/messages/folder_cache_files.h"
#include "platform/files.h"
#include "services/shares/share_removal.h"

namespace tw {
namespace {

constexpr const char* kAccessListFile = "_Access.XML";

struct Transfer {
  FolderPlace source;
  FolderPlace destination;
  bool sourceIsLink = false;
};

std::string Postoffice(const FolderRecord& record) { return std::string(RecordText(record.postoffice)); }
std::string Mailbox(const FolderRecord& record) { return std::string(RecordText(record.mailbox)); }

bool SameMailbox(const FolderRecord& a, const FolderRecord& b) {
  return EqualsNoCase(RecordText(a.postoffice), RecordText(b.postoffice)) &&
         EqualsNoCase(RecordText(a.mailbox), RecordText(b.mailbox));
}

// Both places resolved and checked; none when the transfer is refused.
std::optional<Transfer> PlanTransfer(const FolderRecord& from, const FolderRecord& to) {
  std::optional<FolderPlace> source = ResolveFolderPlace(from), destination = ResolveFolderPlace(to);
  if (!source || !destination) return std::nullopt;
  const uint32_t attributes = platform::GetFileAttributes(source->directory);
  if (attributes == platform::kInvalidAttributes || (attributes & platform::kAttrDirectory) == 0)
    return std::nullopt;
  Transfer transfer{std::move(*source), std::move(*destination), (attributes & platform::kAttrReparsePoint) != 0};
  if (IsSameOrBelow(transfer.destination.directory, transfer.source.directory)) {
    // The same folder: only a new letter case of its name is a rename.
    const bool sameEntry = IsSameOrBelow(transfer.source.directory, transfer.destination.directory);
    if (!sameEntry || FileName(transfer.source.directory) == FileName(transfer.destination.directory))
      return std::nullopt;
  } else if (FileExists(transfer.destination.directory)) {
    return std::nullopt;
  }
  return transfer;
}

bool LeftOutOfCopies(std::string_view name) { return IsBlockFileName(name) || EqualsNoCase(name, kAccessListFile); }

}  // namespace

uint32_t MoveFolder(FolderRecord& from, FolderRecord& to) {
  StandardiseTopLevelName(from);
  StandardiseTopLevelName(to);
  if (NamesPublicRoot(RecordText(from.path)) || NamesPublicRoot(RecordText(to.path))) return 0;
  const std::optional<Transfer> transfer = PlanTransfer(from, to);
  if (!transfer) return 0;
  if (!transfer->sourceIsLink && TreeHasLiveBlock(transfer->source.directory)) return 0;

  MoveFileChecked(transfer->source.directory, transfer->destination.directory);
  MarkFolderIndexOutOfDate(transfer->source.parent);
  MarkFolderIndexOutOfDate(transfer->destination.parent);
  RemoveMovedFolderShares({Postoffice(from), Mailbox(from), RecordFolderPath(from)},
                          {Postoffice(to), Mailbox(to), RecordFolderPath(to)});
  DeleteMailboxSizeFiles(Postoffice(to), Mailbox(to));
  if (!SameMailbox(from, to)) DeleteMailboxSizeFiles(Postoffice(from), Mailbox(from));
  return 1;
}

uint32_t CopyFolder(FolderRecord& from, FolderRecord& to) {
  StandardiseTopLevelName(from);
  StandardiseTopLevelName(to);
  const std::optional<Transfer> transfer = PlanTransfer(from, to);
  if (!transfer || transfer->sourceIsLink) return 0;
  const std::string& destination = transfer->destination.directory;
  if (IsSameOrBelow(destination, transfer->source.directory)) return 0;  // a copy into itself never ends

  // Made here, alone, so that a failed copy removes only what it made.
  CreateDirectoryTree(transfer->destination.parent);
  if (!platform::CreateDirectory(destination)) return 0;
  try {
    CopyFileOrTree(transfer->source.directory, destination, 1, LeftOutOfCopies);
  } catch (...) {
    DeleteTree(destination, 1);
    throw;
  }
  MarkFolderIndexOutOfDate(transfer->destination.parent);
  DeleteMailboxSizeFiles(Postoffice(to), Mailbox(to));
  return 1;
}

}  // namespace tw

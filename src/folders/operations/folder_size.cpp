#include "folders/operations/folder_size.h"

#include <atomic>
#include <optional>
#include <string>

#include <pugixml.hpp>

#include "common/file_management.h"
#include "common/text.h"
#include "folders/operations/folder_place.h"
#include "folders/operations/folder_record.h"
#include "frame/registry_access.h"
#include "index/file/document_serialiser.h"
#include "index/file/reconcile_scans.h"
#include "index/items/sorted_store_index.h"
#include "index/locking/index_file_blocking.h"
#include "index/messages/mail_folder_scan.h"
#include "platform/files.h"

namespace tw {
namespace {

constexpr uint32_t kDefaultInjectionLimitKilobytes = 3072;
constexpr uint32_t kNotRead = 0;
constexpr uint64_t kMostReported = 0xFFFFFFFFull;

std::atomic<uint32_t> g_injectionLimit{kNotRead};

// "Index Injection Size Limit", in kilobytes: folders with a larger index
// are not rescanned to be sized.
uint64_t InjectionLimitBytes() {
  uint32_t limit = g_injectionLimit.load(std::memory_order_relaxed);
  if (limit == kNotRead) {
    uint32_t value = 0;
    const bool read =
        ReadRegistryDword(std::string(kProvidersKey) + "\\Store", "Index Injection Size Limit", &value) != 0;
    limit = read && value != 0 ? value : kDefaultInjectionLimitKilobytes;
    g_injectionLimit.store(limit, std::memory_order_relaxed);
  }
  return static_cast<uint64_t>(limit) * 1024;
}

bool IsMailboxRoot(std::string_view path) { return path == "\\" || path == "/"; }

// Under the folder's block: a folder marked out of date is indexed again
// first, so that its size counts what it holds now.
void RescanWhenOutOfDate(const std::string& directory, std::string_view path) {
  platform::FileInfo index;
  if (!platform::GetFileInfo(directory + "\\_index.xml", index) || index.size >= InjectionLimitBytes()) return;
  if (EqualsNoCase(path, "//Calendar")) return;
  if (!platform::DeleteFileAllCases(directory + "\\_CHANGE.DTY")) return;
  SORTEDSTOREINDEXTYPE items;
  items.folderPath = directory;
  if (EqualsNoCase(path, "//Contacts")) {
    if (Reconcile().contacts != nullptr) Reconcile().contacts(items, directory);
    return;
  }
  ScanMailFolder(items, directory, kScanBlockHeld, true);
}

// The live elements' SIZE added up (elements whose ID holds a "-" are dead
// or not messages); none when the index does not load.
std::optional<uint64_t> IndexedBytes(const std::string& directory) {
  // A folder nothing was ever indexed in holds nothing; only an index that
  // is there and does not load is worth the error report.
  const std::string index = directory + "\\_index.xml";
  if (platform::GetFileAttributes(index) == platform::kInvalidAttributes) return 0;
  pugi::xml_document document;
  if (!LoadIndexDocument(index, document)) return std::nullopt;
  uint64_t total = 0;
  for (const pugi::xml_node element : document.child("BASEELEMENT").children("ELEMENT")) {
    if (std::string_view(element.attribute("ID").value()).find('-') != std::string_view::npos) continue;
    // The document writer keeps properties as child elements, the stream
    // writer as attributes; a load takes both.
    const pugi::xml_attribute attribute = element.attribute("SIZE");
    const unsigned long long size =
        attribute ? attribute.as_ullong(0) : element.child("SIZE").text().as_ullong(0);
    total = size > kMostReported * 1024 - total ? kMostReported * 1024 : total + size;
  }
  return total;
}

}  // namespace

uint32_t FolderSize(const FolderRecord& record, bool kilobytes) {
  if (IsMailboxRoot(RecordText(record.path))) return 0;
  const std::optional<std::string> directory = RecordDirectory(record);
  if (!directory || !IsDirectory(*directory)) return 0;
  uintptr_t handle = 0;
  const std::string block = *directory + "\\_index.blk";
  if (WaitForAccessToIndexFileEx(block, kHeldBlock, &handle) == 0) return 0;
  RescanWhenOutOfDate(*directory, RecordText(record.path));
  const std::optional<uint64_t> bytes = IndexedBytes(*directory);
  UnBlockIndexFileAccessEx(block, kHeldBlock, &handle);
  if (!bytes) return 0;
  const uint64_t size = kilobytes ? *bytes / 1024 : *bytes;
  return size > kMostReported ? static_cast<uint32_t>(kMostReported) : static_cast<uint32_t>(size);
}

void ResetIndexInjectionSizeLimit() { g_injectionLimit = kNotRead; }

}  // namespace tw

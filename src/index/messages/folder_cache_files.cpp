#include "index/messages/folder_cache_files.h"

#include <charconv>
#include <vector>

#include "common/file_management.h"
#include "common/text.h"
#include "frame/event_report.h"
#include "frame/path_safety.h"
#include "frame/settings.h"
#include "frame/store_paths.h"
#include "index/file/index_salvage.h"
#include "index/items/index_item_property_container.h"
#include "index/file/store_index_serialiser.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/mutex.h"
#include "platform/sleep.h"
#include "platform/system_info.h"

namespace tw {
namespace {

using platform::FileHandle;

constexpr uint32_t kCacheRetryPauseMs = 1000;
constexpr size_t kSizeFileReadLimit = 254;

bool IsMissing(uint32_t error) {
  return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
}

// One open, and one more after a pause unless the file is simply missing.
FileHandle OpenCacheFile(const std::string& path, platform::Access access, platform::Disposition disposition,
                         bool& missing) {
  FileHandle file = platform::OpenFile(path, access, platform::Share::All, disposition);
  missing = false;
  if (file.IsOpen()) return file;
  if (IsMissing(platform::GetLastError())) {
    missing = true;
    return file;
  }
  platform::Sleep(kCacheRetryPauseMs);
  file = platform::OpenFile(path, access, platform::Share::All, disposition);
  missing = !file.IsOpen() && IsMissing(platform::GetLastError());
  return file;
}

int32_t Signed(uint32_t word) { return static_cast<int32_t>(word); }

bool HoldsFileRoot(const std::string& folderName) { return ContainsNoCase(folderName, "$FILEROOT"); }

// Adds `delta` to the number at the start of an existing size file.
void AddToOneSizeFile(const std::string& path, int32_t delta) {
  FileHandle file = platform::OpenFile(path, platform::Access::ReadWrite, platform::Share::None,
                                       platform::Disposition::OpenExisting);
  if (!file.IsOpen()) {
    platform::DeleteFile(path);
    return;
  }
  char text[kSizeFileReadLimit];
  size_t got = 0;
  if (!file.Read(text, sizeof text, got)) got = 0;
  int64_t sum = static_cast<int64_t>(ParseLeadingNumber(std::string_view(text, got))) + delta;
  if (sum < 0) sum = 0;
  if (sum > 0x7FFFFFFF) sum = 0x7FFFFFFF;
  char out[16];
  const size_t length = static_cast<size_t>(std::to_chars(out, out + sizeof out, sum).ptr - out);
  if (file.Seek(0, platform::SeekFrom::Begin) && file.Write(out, length)) file.Truncate(length);
}

}  // namespace

void NormaliseFolderDetails(FolderDetails& details) {
  uint32_t* w = details.counters;
  if (Signed(w[FolderDetails::kItems]) < 0) w[FolderDetails::kItems] = 0;
  const int32_t items = Signed(w[FolderDetails::kItems]);
  for (int i : {1, 3, 7, 8, 9}) {
    if (Signed(w[i]) < 1)
      w[i] = 0;
    else if (Signed(w[i]) > items)
      w[i] = static_cast<uint32_t>(items);
  }
}

size_t ReadFolderDatFile(const std::string& path, FolderDetails& details) {
  bool missing = false;
  FileHandle file = OpenCacheFile(path, platform::Access::Read, platform::Disposition::OpenExisting, missing);
  if (!file.IsOpen()) {
    if (!missing) Log(FormatText(kUnboundedText, "Cache File: %s could not be opened. Error: \n", path.c_str()));
    details = FolderDetails{};
    return 0;
  }
  unsigned char bytes[kFolderDatBytes];
  size_t got = 0;
  if (!file.Read(bytes, sizeof bytes, got)) got = 0;
  for (size_t word = 0; word * 4 + 4 <= got; ++word)
    details.counters[word] = static_cast<uint32_t>(bytes[word * 4]) | static_cast<uint32_t>(bytes[word * 4 + 1]) << 8 |
                             static_cast<uint32_t>(bytes[word * 4 + 2]) << 16 |
                             static_cast<uint32_t>(bytes[word * 4 + 3]) << 24;
  // A word cut short by the end of the file takes the bytes there are.
  if (const size_t tail = got % 4; tail != 0) {
    const size_t word = got / 4;
    uint32_t value = details.counters[word];
    for (size_t i = 0; i < tail; ++i)
      value = (value & ~(0xFFu << (8 * i))) | static_cast<uint32_t>(bytes[word * 4 + i]) << (8 * i);
    details.counters[word] = value;
  }
  NormaliseFolderDetails(details);
  return got;
}

bool WriteFolderDatFile(const std::string& path, const FolderDetails& details) {
  FolderDetails normal = details;
  NormaliseFolderDetails(normal);
  // Word 11 is the folder's memory of the UIDs it handed out: never lowered
  // (a record saved from an older load would otherwise take it back).
  FolderDetails before;
  ReadFolderDatFile(path, before);
  const uint32_t kept = before.counters[FolderDetails::kLastUid];
  uint32_t& lastUid = normal.counters[FolderDetails::kLastUid];
  if (kept > lastUid && kept < kUidFloorLimit) lastUid = kept;

  // Written whole to a file of this writer's own, then renamed over the
  // old one: a reader never sees a torn file, whose word 11 would read as 0.
  const std::string temporary = path + "." + std::to_string(platform::CurrentProcessId()) + "." +
                                std::to_string(platform::CurrentThreadId()) + ".tmp";
  bool written = false;
  {
    bool missing = false;
    FileHandle file = OpenCacheFile(temporary, platform::Access::Write, platform::Disposition::CreateAlways, missing);
    if (file.IsOpen()) {
      unsigned char bytes[kFolderDatBytes];
      for (size_t word = 0; word < FolderDetails::kCount; ++word)
        for (size_t i = 0; i < 4; ++i)
          bytes[word * 4 + i] = static_cast<unsigned char>(normal.counters[word] >> (8 * i));
      written = file.Write(bytes, sizeof bytes);
    }
  }
  if (written && platform::ReplaceFile(temporary, path)) return true;
  platform::DeleteFile(temporary);
  Log(FormatText(kUnboundedText, "Cache File: %s could not be written. Error: \n", path.c_str()));
  return false;
}

void RaiseFolderDatLastUid(const std::string& folderPath, uint32_t lastUid, const FolderDetails* counted) {
  const std::string path = InFolder(folderPath, kFolderDatFile);
  FolderDetails details;
  if (ReadFolderDatFile(path, details) == 0) {
    if (counted != nullptr) WriteFolderDatFile(path, *counted);
    return;
  }
  if (details.counters[FolderDetails::kLastUid] >= lastUid) return;
  details.counters[FolderDetails::kLastUid] = lastUid;
  WriteFolderDatFile(path, details);
}

std::string FolderDatPath(const std::string& postoffice, const std::string& mailbox, const std::string& folderName) {
  const std::string directory = FolderDirectoryViaPostofficeRoot(postoffice, mailbox, &folderName);
  if (directory.empty()) return {};
  return folderName.empty() ? directory + kFolderDatFile : InFolder(directory, kFolderDatFile);
}

int32_t GetCachedStatus(const std::string& postoffice, const std::string& mailbox, const std::string& folderName,
                        FolderDetails& details) {
  details = FolderDetails{};
  const std::string path = FolderDatPath(postoffice, mailbox, folderName);
  if (path.empty()) return 0;
  if (ReadFolderDatFile(path, details) > 0) return 1;
  details = FolderDetails{};
  return 0;
}

int32_t SetCachedStatus(const std::string& postoffice, const std::string& mailbox, const std::string& folderName,
                        const FolderDetails& details) {
  if (postoffice.empty() || mailbox.empty() || folderName.empty()) return 0;
  const std::string path = FolderDatPath(postoffice, mailbox, folderName);
  if (path.empty()) return 0;
  return WriteFolderDatFile(path, details) ? 1 : 0;
}

bool WriteFolderSizeFile(const std::string& folderPath, uint64_t bytes) {
  FileHandle file = platform::OpenFile(InFolder(folderPath, kDirSizeFile), platform::Access::Write,
                                       platform::Share::All, platform::Disposition::CreateAlways);
  if (!file.IsOpen()) return false;
  uint64_t kilobytes = bytes / 1024;
  if (kilobytes > 0x7FFFFFFF) kilobytes = 0x7FFFFFFF;
  char text[16];
  const size_t length = static_cast<size_t>(std::to_chars(text, text + sizeof text, kilobytes).ptr - text);
  return file.Write(text, length);
}

void AddToSizeFile(const std::string& postoffice, const std::string& mailbox, int32_t deltaKb,
                   const std::string& folderName) {
  if (deltaKb == 0 || !IsSafeStoreName(mailbox) || !IsSafeFolderPath(folderName)) return;
  const std::string root = PostofficeRoot(postoffice);
  if (root.empty()) return;
  const bool fileRoot = HoldsFileRoot(folderName);
  AddToOneSizeFile(root + (fileRoot ? "\\FILEROOT\\" : "\\MAILROOT\\") + mailbox + "\\" + kDirSizeFile, deltaKb);
  if (folderName.empty() || fileRoot) return;
  const std::string separator = IsPathSeparator(folderName[0]) ? "" : "\\";
  AddToOneSizeFile(root + "\\MAILROOT\\" + mailbox + separator + folderName + "\\" + kDirSizeFile, deltaKb);
}

bool DeleteMailboxSizeFiles(const std::string& postoffice, const std::string& mailbox) {
  if (!IsSafeStoreName(postoffice) || !IsSafeStoreName(mailbox)) return false;
  std::vector<std::string> roots{MailRoot() + "\\" + postoffice};
  const std::string custom = PostofficeRoot(postoffice);
  if (!custom.empty() && custom != roots.front()) roots.push_back(custom);
  bool deleted = true;
  for (const std::string& root : roots) {
    for (const char* tree : {"\\MAILROOT\\", "\\FILEROOT\\"}) {
      const std::string path = root + tree + mailbox + "\\" + kDirSizeFile;
      DeleteTree(path, 0);
      if (FileExists(path)) deleted = false;
    }
  }
  return deleted;
}

}  // namespace tw

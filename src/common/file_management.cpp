#include "common/file_management.h"

#include <algorithm>
#include <vector>

#include "common/file_iterator.h"
#include "common/text.h"
#include "frame/event_report.h"
#include "platform/file_handle.h"
#include "platform/last_error.h"
#include "platform/sleep.h"

namespace tw {

namespace {

// With the recursive flag 0 a tree delete visits only entries carrying one
// of hidden, system, archive, normal or temporary: plain files, not
// sub-directories.
constexpr uint32_t kNonRecursiveDeleteMask = platform::kAttrHidden | platform::kAttrSystem | platform::kAttrArchive |
                                             platform::kAttrNormal | platform::kAttrTemporary;
static_assert(kNonRecursiveDeleteMask == 0x1A6);


constexpr size_t kReadPiece = 64 * 1024;

[[noreturn]] void Throw(std::string message, int line) {
  throw Exception(std::move(message), kFileManagementSourceModule, line);
}

std::string LastErrorText() { return std::to_string(platform::GetLastError()); }

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

bool HasWildcard(std::string_view path) { return path.find_first_of("*?") != std::string_view::npos; }

std::string Join(std::string_view directory, std::string_view name) {
  std::string out(directory);
  out += '\\';
  out += name;
  return out;
}

void ReportToEventLog(const std::string& message) {
  ReportStoreEvent(kEventTypeInformation, "Tarnwick", nullptr, kStoreEventId, message);
}

// Reads everything from an open handle into `out` (appending).
template <typename Sink>
bool ReadAll(platform::FileHandle& file, Sink&& sink) {
  std::vector<char> piece(kReadPiece);
  for (;;) {
    size_t got = 0;
    if (!file.Read(piece.data(), piece.size(), got)) return false;
    if (got > 0) sink(piece.data(), got);
    if (got < piece.size()) return true;
  }
}

}  // namespace

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

std::string ParentDirectory(std::string_view path) {
  size_t end = path.size();
  while (end > 0 && IsPathSeparator(path[end - 1])) --end;
  size_t cut = end;
  while (cut > 0 && !IsPathSeparator(path[cut - 1])) --cut;
  if (cut == 0) return {};  // no separator left
  --cut;                    // onto the last separator
  while (cut > 0 && IsPathSeparator(path[cut - 1])) --cut;
  return std::string(path.substr(0, cut));
}

std::string FileName(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return std::string(path.substr(i));
  }
  return {};
}

bool IsDirectory(std::string_view path) {
  const uint32_t attributes = platform::GetFileAttributes(path);
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) != 0;
}

bool FileExists(std::string_view path) {
  if (path.empty()) return false;
  if (HasWildcard(path)) {
    platform::FindHandle find;
    platform::FindData data;
    return find.First(path, data);
  }
  return platform::GetFileAttributes(path) != platform::kInvalidAttributes;
}

bool IsValidPath(std::string_view path) {
  if (platform::GetFileAttributes(path) != platform::kInvalidAttributes) return true;
  return platform::GetLastError() != platform::kErrorInvalidName;
}

void CreateDirectoryTree(std::string_view path) {
  // Walk up to the first ancestor that exists, then create downwards. A
  // loop rather than recursion, so a hostile path of many components cannot
  // exhaust the stack.
  std::vector<std::string> missing;
  std::string current(path);
  for (;;) {
    if (current.empty()) Throw("Empty path", kLineEmptyPath);
    if (!IsValidPath(current)) Throw("Invalid path: " + current, kLineInvalidPath);
    if (FileExists(current)) break;
    missing.push_back(current);
    current = ParentDirectory(current);
    if (current.empty()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (platform::CreateDirectory(*it)) continue;
    // Another process may have made it in the meantime; that is success.
    if (platform::GetLastError() == platform::kErrorAlreadyExists) {
      const uint32_t attributes = platform::GetFileAttributes(*it);
      if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) != 0) continue;
    }
    Throw("Failed to create directory (" + *it + ")", kLineCreateDirectoryFailed);
  }
}

bool ReadWholeFile(std::string_view path, ByteArray& bytes) {
  bytes.Clear();
  platform::FileHandle file =
      platform::OpenFile(path, platform::Access::Read, platform::Share::All, platform::Disposition::OpenExisting);
  if (!file.IsOpen()) return false;
  const int64_t size = file.Size();
  if (size > static_cast<int64_t>(ByteArray::kMaxCapacity)) return false;
  if (size > 0) bytes.Reserve(static_cast<uint32_t>(size));
  bool fits = true;
  const bool ok = ReadAll(file, [&](const char* data, size_t n) {
    if (!fits || n > ByteArray::kMaxCapacity - bytes.Count()) {
      fits = false;
      return;
    }
    bytes.Append(reinterpret_cast<const uint8_t*>(data), static_cast<uint32_t>(n));
  });
  return ok && fits;
}

std::string ReadWholeFileAsText(std::string_view path) {
  platform::FileHandle file =
      platform::OpenFile(path, platform::Access::Read, platform::Share::All, platform::Disposition::OpenExisting);
  if (!file.IsOpen()) return {};
  std::string text;
  if (!ReadAll(file, [&](const char* data, size_t n) { text.append(data, n); })) return {};
  return text;
}

bool WriteWholeFile(std::string_view path, const ByteArray& bytes) {
  const std::string parent = ParentDirectory(path);
  if (!parent.empty()) CreateDirectoryTree(parent);
  platform::FileHandle file =
      platform::OpenFile(path, platform::Access::Write, platform::Share::All, platform::Disposition::CreateAlways);
  if (!file.IsOpen()) return false;
  if (bytes.Count() > 0 && !file.Write(bytes.Data(), bytes.Count())) return false;
  return true;
}

int DeleteTree(std::string_view path, uint32_t recursive) {
  const uint32_t attributes = platform::GetFileAttributes(path);
  if (attributes == platform::kInvalidAttributes) return kDeleteTreeMissing;

  if ((attributes & platform::kAttrDirectory) == 0) {
    if (platform::DeleteFile(path)) return kDeleteTreeDone;
    ReportToEventLog("Call to DeleteFile failed for " + std::string(path) + " (GetLastError() returned " +
                     LastErrorText() + ")");
    return kDeleteTreeMissing;
  }
  // Links (reparse points) are removed as links and never walked into, so a
  // tree delete cannot reach outside its tree.
  if ((attributes & platform::kAttrReparsePoint) != 0) {
    if (platform::RemoveDirectory(path)) return kDeleteTreeDone;
    ReportToEventLog("Call to RemoveDirectory failed for " + std::string(path) + " (GetLastError() returned " +
                     LastErrorText() + ")");
    return kDeleteTreeMissing;
  }

  int result = kDeleteTreeDone;
  bool entryFailed = false;
  {
    const std::string pattern = Join(path, "*");
    FileIterator entries = recursive ? FileIterator(pattern) : FileIterator(pattern, kNonRecursiveDeleteMask);
    std::string name;
    for (bool more = entries.First(name); more; more = entries.Next(name)) {
      if (IsDotEntry(name)) continue;
      const int entryResult = DeleteTree(Join(path, name), recursive);
      if (entryResult != kDeleteTreeDone) {
        entryFailed = true;
        result = kDeleteTreePartial;
      }
    }
  }
  if (!platform::RemoveDirectory(path)) {
    if (!entryFailed) {
      ReportToEventLog("Call to RemoveDirectory failed for " + std::string(path) + " (GetLastError() returned " +
                       LastErrorText() + ")");
    }
    return kDeleteTreePartial;
  }
  return result;
}

void MoveFileChecked(std::string_view source, std::string_view destination) {
  if (!FileExists(source)) Throw("File not found: " + std::string(source), kLineMoveSourceMissing);
  const std::string parent = ParentDirectory(destination);
  if (!parent.empty()) CreateDirectoryTree(parent);
  if (!platform::MoveFile(source, destination)) {
    Throw("Call to MoveFile failed (GetLastError() returned " + LastErrorText() + ")", kLineMoveFailed);
  }
}

void CopyFileOrTree(std::string_view source, std::string_view destination, uint32_t failIfExists,
                    CopySkip skip) {
  const uint32_t attributes = platform::GetFileAttributes(source);
  if (attributes == platform::kInvalidAttributes) {
    Throw("File not found: " + std::string(source), kLineCopySourceMissing);
  }
  if ((attributes & platform::kAttrDirectory) == 0) {
    const std::string parent = ParentDirectory(destination);
    if (!parent.empty()) CreateDirectoryTree(parent);
    if (!platform::CopyFile(source, destination, failIfExists != 0)) {
      Throw("Call to CopyFile failed (GetLastError() returned " + LastErrorText() + ")", kLineCopyFailed);
    }
    return;
  }
  CreateDirectoryTree(destination);
  FileIterator entries(Join(source, "*"));
  std::string name;
  for (bool more = entries.First(name); more; more = entries.Next(name)) {
    if (IsDotEntry(name) || platform::IsLink(entries.Data()) || (skip != nullptr && skip(name))) continue;
    CopyFileOrTree(Join(source, name), Join(destination, name), failIfExists, skip);
  }
}

bool DeleteFileWithRetry(std::string_view path) {
  if (platform::DeleteFile(path)) return true;
  for (int retries = 0;; ++retries) {
    const uint32_t error = platform::GetLastError();
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) return true;
    if (retries >= kFileRetries) return false;
    if (platform::DeleteFile(path)) return true;
    platform::Sleep(kFileRetryPauseMs);
  }
}

bool MoveActivityFileWithRetry(std::string_view source, std::string_view destination) {
  if (platform::MoveFile(source, destination)) return true;
  for (int retries = 0;; ++retries) {
    const uint32_t error = platform::GetLastError();
    if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) return false;
    if (retries >= kFileRetries) {
      Log(FormatText(kUnboundedText,
                     "TW-WXXXX: Warning: A Timeout occurred when attempting to move %.*s Activity File to %.*s. "
                     "Error: %ld\n",
                     static_cast<int>(source.size()), source.data(), static_cast<int>(destination.size()),
                     destination.data(), static_cast<long>(error)));
      return false;
    }
    if (retries % 5 == 0) {
      Log(FormatText(kUnboundedText,
                     "TW-WXXXX: Warning: Unable to move %.*s Activity File to %.*s at this time (but will keep "
                     "retrying). Error: %ld\n",
                     static_cast<int>(source.size()), source.data(), static_cast<int>(destination.size()),
                     destination.data(), static_cast<long>(error)));
    }
    platform::Sleep(kFileRetryPauseMs);
    if (platform::MoveFile(source, destination)) return true;
  }
}

size_t ListDirectory(std::string_view pattern, std::vector<platform::FindData>& list, int32_t maximum) {
  list.clear();
  platform::FindHandle find;
  platform::FindData data;
  int64_t seen = 0;
  for (bool more = find.First(pattern, data); more; more = find.Next(data)) {
    ++seen;
    if (maximum >= 0 && seen >= maximum) break;
    if ((data.attributes & platform::kAttrDirectory) != 0 || platform::IsLink(data)) continue;
    if (data.name.empty() || data.name[0] == '_' || data.name[0] == '.') continue;
    list.push_back(data);
  }
  std::stable_sort(list.begin(), list.end(), [](const platform::FindData& a, const platform::FindData& b) {
    return CompareNoCase(a.name, b.name) < 0;
  });
  return list.size();
}

}  // namespace tw

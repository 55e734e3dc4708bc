// FindFirstFile / FindNextFile over a directory.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/creation_time.h"
#include "platform/file_status.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/name_cache.h"
#include "platform/path_mapping.h"

namespace tw::platform {

namespace {

bool HasWildcard(std::string_view pattern) { return pattern.find_first_of("*?") != std::string_view::npos; }

DIR* AsDir(void* p) { return static_cast<DIR*>(p); }

}  // namespace

FindHandle::~FindHandle() { Close(); }

void FindHandle::Close() {
  if (dir_) ::closedir(AsDir(dir_));
  dir_ = nullptr;
  directory_.clear();
  pattern_.clear();
  emittedDot_ = false;
  emittedDotDot_ = false;
  single_ = false;
  singleDone_ = false;
}

bool FindHandle::First(std::string_view pattern, FindData& data) {
  Close();
  std::string directory;
  std::string name;
  if (!detail::MapPattern(pattern, directory, name)) return false;
  if (directory.empty()) directory = ".";
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) {
    const int err = errno;
    SetLastError(err == ENOENT || err == ENOTDIR ? kErrorPathNotFound : ErrorFromErrno(err));
    return false;
  }
  dir_ = dir;
  directory_ = directory;
  pattern_ = name;
  // "abc." also finds "abc", which a lookup of the name as written would not.
  single_ = !HasWildcard(name) && !name.empty() && name.back() != '.';
  if (!name.empty() && Step(data)) {
    SetLastError(kErrorSuccess);
    return true;
  }
  Close();
  SetLastError(kErrorFileNotFound);
  return false;
}

bool FindHandle::Next(FindData& data) {
  if (!dir_) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (Step(data)) {
    SetLastError(kErrorSuccess);
    return true;
  }
  SetLastError(kErrorNoMoreFiles);
  return false;
}

bool FindHandle::Fill(const std::string& name, FindData& data) {
  detail::FileStatus status;
  if (!detail::QueryStatus(::dirfd(AsDir(dir_)), name.c_str(), status)) return false;
  data.attributes = detail::AttributesOf(status, name);
  data.creationTime = detail::CreationTimeOf(status, detail::JoinPath(directory_, name));
  data.lastAccessTime = detail::AccessFileTime(status);
  data.lastWriteTime = detail::WriteFileTime(status);
  data.size = status.IsDirectory() ? 0 : status.size;
  data.name = name;
  return true;
}

bool FindHandle::StepSingle(FindData& data) {
  if (singleDone_) return false;
  singleDone_ = true;
  if (pattern_ == "." || pattern_ == "..") return false;  // reported by Step already
  // The exact spelling first (the canonical one for the library's files),
  // then any other letter case.
  std::string name(CanonicalLibraryFileName(pattern_));
  if (name.empty()) name = pattern_;
  struct stat st {};
  if (::fstatat(::dirfd(AsDir(dir_)), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    name = detail::FindNameIgnoringCase(directory_, pattern_);
    if (name.empty()) return false;
  }
  if (detail::IsBookkeepingName(name) || !IsValidFileName(name)) return false;
  return Fill(name, data);
}

bool FindHandle::Step(FindData& data) {
  if (!dir_) return false;
  // As Windows does, "." and ".." come first when the pattern takes them.
  if (!emittedDot_) {
    emittedDot_ = true;
    if (MatchesPattern(pattern_, ".") && Fill(".", data)) return true;
  }
  if (!emittedDotDot_) {
    emittedDotDot_ = true;
    if (MatchesPattern(pattern_, "..") && Fill("..", data)) return true;
  }
  if (single_) return StepSingle(data);
  while (const dirent* entry = ::readdir(AsDir(dir_))) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    // Entries Windows could not name, and the platform's own bookkeeping,
    // do not exist for the store.
    if (!IsValidFileName(name) || detail::IsBookkeepingName(name)) continue;
    if (!MatchesPattern(pattern_, name)) continue;
    // Gone since readdir() or a dangling link: not there.
    if (Fill(std::string(name), data)) return true;
  }
  return false;
}

}  // namespace tw::platform

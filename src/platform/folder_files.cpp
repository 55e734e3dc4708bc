#include "platform/folder_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/creation_time.h"
#include "platform/file_status.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/mutation_hook.h"
#include "platform/name_cache.h"
#include "platform/path_mapping.h"
#include "platform/rename_noreplace.h"
#include "platform/shared_read.h"

namespace tw::platform {
namespace {

DIR* AsDir(void* p) { return static_cast<DIR*>(p); }

EntryKind KindOf(const detail::FileStatus& status) {
  if (status.isLink) return EntryKind::Link;
  if (status.IsDirectory()) return EntryKind::Directory;
  return status.IsRegular() ? EntryKind::File : EntryKind::Other;
}

}  // namespace

FolderFiles::~FolderFiles() {
  if (dir_ != nullptr) ::closedir(AsDir(dir_));
}

bool FolderFiles::Open(std::string_view path) {
  if (dir_ != nullptr) ::closedir(AsDir(dir_));
  dir_ = nullptr;
  if (!detail::MapPath(path, path_)) return false;
  DIR* dir = ::opendir(path_.c_str());
  if (dir == nullptr) {
    const int err = errno;
    SetLastError(err == ENOENT || err == ENOTDIR ? kErrorPathNotFound : ErrorFromErrno(err));
    return false;
  }
  dir_ = dir;
  SetLastError(kErrorSuccess);
  return true;
}

std::vector<FolderEntry> FolderFiles::List(std::string_view pattern, NameMode mode) {
  std::vector<FolderEntry> entries;
  if (dir_ == nullptr) {
    SetLastError(kErrorInvalidHandle);
    return entries;
  }
  DIR* dir = AsDir(dir_);
  ::rewinddir(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == ".." || detail::IsBookkeepingName(name)) continue;
    if (mode == NameMode::Valid && !IsValidFileName(name)) continue;
    if (!MatchesPattern(pattern, name)) continue;
    EntryKind kind;
    switch (entry->d_type) {
      case DT_REG: kind = EntryKind::File; break;
      case DT_DIR: kind = EntryKind::Directory; break;
      case DT_LNK: kind = EntryKind::Link; break;
      case DT_UNKNOWN: {
        detail::FileStatus status;
        if (!detail::QueryStatus(::dirfd(dir), entry->d_name, status)) continue;  // gone since
        kind = KindOf(status);
        break;
      }
      default: kind = EntryKind::Other; break;
    }
    entries.push_back({std::string(name), kind});
  }
  SetLastError(kErrorSuccess);
  return entries;
}

bool FolderFiles::CheckName(std::string_view name, NameMode mode) const {
  if (dir_ == nullptr) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  const bool usable = mode == NameMode::AnyName ? !name.empty() && name.find('/') == std::string_view::npos &&
                                                      name.find('\0') == std::string_view::npos
                                                : IsValidFileName(name);
  if (name == "." || name == ".." || !usable) {
    SetLastError(kErrorInvalidName);
    return false;
  }
  if (name.size() > detail::kMaxComponentLength) {
    SetLastError(kErrorFilenameTooLong);
    return false;
  }
  return true;
}

bool FolderFiles::GetInfo(std::string_view name, FileInfo& info, NameMode mode) const {
  if (!CheckName(name, mode)) return false;
  const std::string entry(name);
  detail::FileStatus status;
  if (!detail::QueryStatus(::dirfd(AsDir(dir_)), entry.c_str(), status)) {
    SetLastError(detail::ReadOpenError(errno, detail::JoinPath(path_, entry)));
    return false;
  }
  // Only a directory's creation time may need its path.
  info = detail::InfoFromStatus(status, entry, status.IsDirectory() ? detail::JoinPath(path_, entry) : std::string());
  SetLastError(kErrorSuccess);
  return true;
}

FileHandle FolderFiles::OpenForReading(std::string_view name, FileInfo* info, NameMode mode) const {
  FileHandle handle;
  if (!CheckName(name, mode)) return handle;
  const std::string entry(name);
  const int fd = detail::OpenReadOnly(::dirfd(AsDir(dir_)), entry.c_str(), true);
  if (fd < 0) {
    SetLastError(errno == ELOOP ? kErrorAccessDenied : detail::ReadOpenError(errno, detail::JoinPath(path_, entry)));
    return handle;
  }
  handle.fd_ = fd;
  if (const uint32_t error = detail::HoldForReading(fd, entry, info); error != kErrorSuccess) {
    handle.Close();
    SetLastError(error);
    return handle;
  }
  SetLastError(kErrorSuccess);
  return handle;
}

namespace {

// Renames within one directory, never replacing an entry.
bool RenameEntry(const std::string& directory, std::string_view from, std::string_view to) {
  const std::string source = detail::JoinPath(directory, from);
  const std::string target = detail::JoinPath(directory, to);
  BeforeMutation(Mutation::Move, target);
  if (detail::RenameNoReplace(source.c_str(), target.c_str()) != 0) {
    const int err = errno;
    SetLastError(err == EEXIST || err == ENOTEMPTY ? kErrorAlreadyExists
                 : err == ENOENT                  ? kErrorFileNotFound
                                                  : ErrorFromErrno(err));
    return false;
  }
  detail::ForgetDirectory(directory);
  SetLastError(kErrorSuccess);
  return true;
}

}  // namespace

bool FolderFiles::RenameToAnyName(std::string_view from, std::string_view to) {
  if (!CheckName(from) || !CheckName(to, NameMode::AnyName)) return false;
  return RenameEntry(path_, from, to);
}

FileHandle FolderFiles::CreateExact(std::string_view name) {
  FileHandle handle;
  if (!CheckName(name)) return handle;
  const std::string entry(name);
  BeforeMutation(Mutation::Write, detail::JoinPath(path_, entry));
  const int fd = ::openat(::dirfd(AsDir(dir_)), entry.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    SetLastError(errno == EEXIST ? kErrorFileExists : ErrorFromErrno(errno));
    return handle;
  }
  handle.fd_ = fd;
  SetLastError(kErrorSuccess);
  return handle;
}

bool FolderFiles::RenameExact(std::string_view from, std::string_view to) {
  if (!CheckName(from) || !CheckName(to)) return false;
  return RenameEntry(path_, from, to);
}

bool FolderFiles::SetWriteTimeExact(std::string_view name, uint64_t fileTime) {
  if (!CheckName(name)) return false;
  const std::string entry(name);
  timespec times[2]{};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(UnixFromFileTime(fileTime));
  times[1].tv_nsec = static_cast<long>(fileTime % 10000000) * 100;
  BeforeMutation(Mutation::SetTime, detail::JoinPath(path_, entry));
  if (::utimensat(::dirfd(AsDir(dir_)), entry.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  SetLastError(kErrorSuccess);
  return true;
}

bool FolderFiles::RenameAnyName(std::string_view from, std::string_view to) {
  if (dir_ == nullptr) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  const bool fromIsName = !from.empty() && from != "." && from != ".." &&
                          from.find('/') == std::string_view::npos && from.find('\0') == std::string_view::npos;
  if (!fromIsName) {
    SetLastError(kErrorInvalidName);
    return false;
  }
  if (!CheckName(to)) return false;
  if (!detail::FindNameIgnoringCase(path_, to).empty()) {
    SetLastError(kErrorAlreadyExists);
    return false;
  }
  return RenameEntry(path_, from, to);
}

}  // namespace tw::platform

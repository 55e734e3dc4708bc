// Creating, removing and deleting directory entries.
#include "platform/files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/file_delete.h"
#include "platform/last_error.h"
#include "platform/mutation_hook.h"
#include "platform/name_cache.h"
#include "platform/path_mapping.h"
#include "platform/write_cut.h"

namespace tw::platform {

namespace {

bool Fail(uint32_t error) {
  SetLastError(error);
  return false;
}

bool Succeed() {
  SetLastError(kErrorSuccess);
  return true;
}

std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The bookkeeping entries of a directory that holds nothing else; empty when
// it holds anything else (or cannot be read).
std::vector<std::string> LoneBookkeepingEntries(const std::string& directory) {
  std::vector<std::string> found;
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return found;
  bool others = false;
  while (const dirent* d = ::readdir(dir)) {
    std::string_view name(d->d_name);
    if (name == "." || name == "..") continue;
    if (!detail::IsBookkeepingName(name)) {
      others = true;
      break;
    }
    found.emplace_back(name);
  }
  ::closedir(dir);
  if (others) found.clear();
  return found;
}

bool IsLinkToDirectory(const std::string& systemPath) {
  const std::string plain = WithoutTrailingSeparator(systemPath);
  struct stat link {};
  struct stat target {};
  return ::lstat(plain.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && ::stat(plain.c_str(), &target) == 0 &&
         S_ISDIR(target.st_mode);
}

uint32_t RemoveDirectoryError(const std::string& systemPath, int err) {
  switch (err) {
    case ENOENT:
      return detail::MissingEntryError(systemPath);
    case ENOTDIR: {
      struct stat st {};
      const std::string plain = WithoutTrailingSeparator(systemPath);
      if (::lstat(plain.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return kErrorDirectory;
      return kErrorPathNotFound;
    }
    case ENOTEMPTY:
    case EEXIST:
      return kErrorDirNotEmpty;
    default:
      return ErrorFromErrno(err);
  }
}

}  // namespace

namespace detail {

uint32_t DeleteSystemFile(const std::string& systemPath) {
  ShareProbe probe;
  switch (probe.Acquire(systemPath)) {
    case ProbeOutcome::Missing:
      return MissingEntryError(systemPath);
    case ProbeOutcome::Busy:
      return kErrorSharingViolation;
    case ProbeOutcome::Failed:
      return ErrorFromErrno(errno);
    case ProbeOutcome::Ready:
      break;
  }
  if (S_ISDIR(probe.Status().mode)) return kErrorAccessDenied;
  // Unlinked while the probe still holds its lock.
  BeforeMutation(Mutation::Delete, systemPath);
  if (::unlink(systemPath.c_str()) != 0) {
    if (errno == ENOENT) return MissingEntryError(systemPath);
    return ErrorFromErrno(errno);
  }
  ForgetDirectory(ParentDirectory(systemPath));
  return kErrorSuccess;
}

}  // namespace detail

bool CreateDirectory(std::string_view path) {
  std::string systemPath;
  if (!detail::MapPath(path, systemPath)) return false;
  BeforeMutation(Mutation::CreateDirectory, systemPath);
  if (::mkdir(systemPath.c_str(), 0777) != 0) {
    switch (errno) {
      case EEXIST:
        return Fail(kErrorAlreadyExists);
      case ENOENT:
      case ENOTDIR:
        return Fail(kErrorPathNotFound);
      default:
        return Fail(ErrorFromErrno(errno));
    }
  }
  detail::ForgetDirectory(detail::ParentDirectory(systemPath));
  return Succeed();
}

bool RemoveDirectory(std::string_view path) {
  std::string systemPath;
  if (!detail::MapPath(path, systemPath)) return false;
  BeforeMutation(Mutation::RemoveDirectory, systemPath);
  if (::rmdir(systemPath.c_str()) != 0) {
    int err = errno;
    if (err == ENOTDIR && IsLinkToDirectory(systemPath)) {
      // As Windows removes a directory link: the link goes, not the target.
      if (::unlink(WithoutTrailingSeparator(systemPath).c_str()) != 0) return Fail(ErrorFromErrno(errno));
    } else if (err == ENOTEMPTY || err == EEXIST) {
      // A directory holding only the platform's bookkeeping is empty to the
      // store.
      std::vector<std::string> bookkeeping = LoneBookkeepingEntries(systemPath);
      if (bookkeeping.empty()) return Fail(kErrorDirNotEmpty);
      for (const auto& name : bookkeeping) ::unlink(detail::JoinPath(systemPath, name).c_str());
      if (::rmdir(systemPath.c_str()) != 0) return Fail(RemoveDirectoryError(systemPath, errno));
    } else {
      return Fail(RemoveDirectoryError(systemPath, err));
    }
  }
  detail::ForgetDirectory(WithoutTrailingSeparator(systemPath));
  detail::ForgetDirectory(detail::ParentDirectory(systemPath));
  return Succeed();
}

bool DeleteFile(std::string_view path) {
  std::string systemPath;
  if (!detail::MapPath(path, systemPath)) return false;
  if (!detail::AllowFileChange()) return false;
  const uint32_t error = detail::DeleteSystemFile(systemPath);
  return error == kErrorSuccess ? Succeed() : Fail(error);
}

bool DeleteFileAllCases(std::string_view path) {
  std::string systemPath;
  if (!detail::MapPath(path, systemPath)) return false;
  const std::string directory = detail::ParentDirectory(systemPath);
  const std::string name(detail::LastComponent(systemPath));
  // The spelling asked for first, so it goes even if the listing was read
  // a moment before it appeared.
  std::vector<std::string> spellings{name};
  for (auto& other : detail::FindAllCases(directory, name))
    if (other != name) spellings.push_back(std::move(other));

  bool deleted = false;
  uint32_t firstError = kErrorSuccess;
  for (const auto& spelling : spellings) {
    const uint32_t error = detail::DeleteSystemFile(detail::JoinPath(directory, spelling));
    if (error == kErrorSuccess) {
      deleted = true;
    } else if (firstError == kErrorSuccess || firstError == kErrorFileNotFound) {
      firstError = error;
    }
  }
  return deleted ? Succeed() : Fail(firstError);
}

}  // namespace tw::platform

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_handle.h"
#include "platform/last_error.h"
#include "platform/name_cache.h"
#include "platform/path_mapping.h"

namespace tw::platform {

bool DeleteHeldFile(const FileHandle& handle, std::string_view path) {
  if (!handle.IsOpen()) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  std::string systemPath;
  if (!detail::MapPath(path, systemPath)) return false;
  struct stat held {};
  struct stat named {};
  if (fstat(handle.fd_, &held) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  if (lstat(systemPath.c_str(), &named) != 0) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? detail::MissingEntryError(systemPath) : ErrorFromErrno(errno));
    return false;
  }
  // Nobody else can delete or replace the name while the handle's lock
  // stands, so the name checked here is the name unlinked.
  if (held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  if (unlink(systemPath.c_str()) != 0) {
    SetLastError(errno == ENOENT ? detail::MissingEntryError(systemPath) : ErrorFromErrno(errno));
    return false;
  }
  detail::ForgetDirectory(detail::ParentDirectory(systemPath));
  SetLastError(kErrorSuccess);
  return true;
}

}  // namespace tw::platform

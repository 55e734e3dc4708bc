#include "platform/file_head.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file_status.h"
#include "platform/last_error.h"
#include "platform/path_mapping.h"
#include "platform/shared_read.h"

namespace tw::platform {
namespace detail {

int OpenReadOnly(int dirFd, const char* path, bool noFollow) {
  int fd;
  do {
    // O_NONBLOCK: opening a pipe must not wait for a writer (it is refused
    // later); regular files ignore it.
    fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (noFollow ? O_NOFOLLOW : 0));
  } while (fd < 0 && errno == EINTR);
  return fd;
}

uint32_t ReadOpenError(int err, std::string_view systemPath) {
  switch (err) {
    case ENOENT:
      return MissingEntryError(systemPath);
    case ENOTDIR:
      return kErrorPathNotFound;
    case EISDIR:
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    default:
      return ErrorFromErrno(err);
  }
}

}  // namespace detail

namespace {

// The name as written when it is there, else as the case-insensitive
// mapping finds it. -1 with the last error set.
int OpenMapped(std::string_view path) {
  std::string written;
  if (!detail::MapPathAsWritten(path, written)) return -1;
  int fd = detail::OpenReadOnly(AT_FDCWD, written.c_str(), false);
  if (fd >= 0) return fd;
  int err = errno;
  if (err == ENOENT || err == ENOTDIR) {
    std::string mapped;
    if (!detail::MapPath(path, mapped)) return -1;
    if (mapped != written) {
      fd = detail::OpenReadOnly(AT_FDCWD, mapped.c_str(), false);
      if (fd >= 0) return fd;
      err = errno;
      written = std::move(mapped);
    }
  }
  SetLastError(detail::ReadOpenError(err, written));
  return -1;
}

// A shared lock: refused (32) only while another handle holds the file
// exclusively. A file system without locks has nobody to respect.
uint32_t LockShared(int fd) {
  int rc;
  do {
    rc = ::flock(fd, LOCK_SH | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) return kErrorSuccess;
  if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) return kErrorSuccess;
  return errno == EWOULDBLOCK ? kErrorSharingViolation : ErrorFromErrno(errno);
}

void Fill(const struct stat& st, std::string_view path, FileInfo& info) {
  const detail::FileStatus status = detail::StatusFromStat(st);
  const size_t slash = path.find_last_of("\\/");
  info.attributes = detail::AttributesOf(status, slash == std::string_view::npos ? path : path.substr(slash + 1));
  info.lastWriteTime = detail::WriteFileTime(status);
  info.lastAccessTime = detail::AccessFileTime(status);
  info.creationTime = info.lastWriteTime;
  info.size = status.size;
}

}  // namespace

namespace detail {

uint32_t HoldForReading(int fd, std::string_view name, FileInfo* info) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return ErrorFromErrno(errno);
  if (!S_ISREG(st.st_mode)) return kErrorAccessDenied;
  if (const uint32_t error = LockShared(fd); error != kErrorSuccess) return error;
  if (info != nullptr) Fill(st, name, *info);
  return kErrorSuccess;
}

}  // namespace detail

FileHandle OpenForReading(std::string_view path, FileInfo* info) {
  FileHandle handle;
  const int fd = OpenMapped(path);
  if (fd < 0) return handle;
  handle.fd_ = fd;
  if (const uint32_t error = detail::HoldForReading(fd, path, info); error != kErrorSuccess) {
    handle.Close();
    SetLastError(error);
    return handle;
  }
  SetLastError(kErrorSuccess);
  return handle;
}

bool ReadFileHead(std::string_view path, char* buffer, size_t capacity, size_t& got, FileInfo* info) {
  got = 0;
  if (buffer == nullptr && capacity > 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  FileInfo facts;
  FileHandle file = OpenForReading(path, &facts);
  if (!file.IsOpen()) return false;
  if (info != nullptr) *info = facts;
  // Asking for no more than the size the open file reported saves the read
  // that would only find its end; a file that grew since is read as it was.
  const size_t want = facts.size < capacity ? static_cast<size_t>(facts.size) : capacity;
  if (want > 0 && !file.Read(buffer, want, got)) return false;
  SetLastError(kErrorSuccess);
  return true;
}

}  // namespace tw::platform

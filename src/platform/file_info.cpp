// Attributes and times of one path.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "platform/creation_time.h"
#include "platform/file_status.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/mutation_hook.h"
#include "platform/name_cache.h"
#include "platform/path_mapping.h"

namespace tw::platform {

namespace {

uint32_t StatusError(const std::string& systemPath, int err) {
  if (err == ENOENT) return detail::MissingEntryError(systemPath);
  return ErrorFromErrno(err);
}

// Maps `path` and reads its status; false with the last error set.
bool QueryPath(std::string_view path, std::string& systemPath, detail::FileStatus& status) {
  if (!detail::MapPath(path, systemPath)) return false;
  if (!detail::QueryStatus(systemPath, status)) {
    SetLastError(StatusError(systemPath, errno));
    return false;
  }
  return true;
}

}  // namespace

namespace detail {

FileInfo InfoFromStatus(const FileStatus& status, std::string_view name, const std::string& path) {
  FileInfo info;
  info.attributes = AttributesOf(status, name);
  info.creationTime = CreationTimeOf(status, path);
  info.lastAccessTime = AccessFileTime(status);
  info.lastWriteTime = WriteFileTime(status);
  info.size = status.IsDirectory() ? 0 : status.size;
  return info;
}

}  // namespace detail

uint32_t GetFileAttributes(std::string_view path) {
  std::string systemPath;
  detail::FileStatus status;
  if (!QueryPath(path, systemPath, status)) return kInvalidAttributes;
  SetLastError(kErrorSuccess);
  return detail::AttributesOf(status, detail::LastComponent(systemPath));
}

bool GetFileInfo(std::string_view path, FileInfo& info) {
  std::string systemPath;
  detail::FileStatus status;
  if (!QueryPath(path, systemPath, status)) return false;
  info = detail::InfoFromStatus(status, detail::LastComponent(systemPath), systemPath);
  SetLastError(kErrorSuccess);
  return true;
}

bool SetFileLastWriteTime(std::string_view path, uint64_t fileTime) {
  std::string systemPath;
  if (!detail::MapPath(path, systemPath)) return false;
  timespec times[2]{};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(UnixFromFileTime(fileTime));
  times[1].tv_nsec = static_cast<long>(fileTime % 10000000) * 100;
  BeforeMutation(Mutation::SetTime, systemPath);
  if (::utimensat(AT_FDCWD, systemPath.c_str(), times, 0) != 0) {
    SetLastError(StatusError(systemPath, errno));
    return false;
  }
  // A directory's cached listing is only as good as its modification time.
  detail::ForgetDirectory(systemPath);
  SetLastError(kErrorSuccess);
  return true;
}

namespace {

FileStamp StampOf(const detail::FileStatus& status) {
  FileStamp stamp;
  stamp.device = status.device;
  stamp.inode = status.inode;
  stamp.size = status.size;
  stamp.writeSeconds = status.writeTime.tv_sec;
  stamp.writeNanoseconds = static_cast<uint32_t>(status.writeTime.tv_nsec);
  return stamp;
}

}  // namespace

bool GetFileStamp(std::string_view path, FileStamp& stamp) {
  std::string systemPath;
  detail::FileStatus status;
  if (!QueryPath(path, systemPath, status)) return false;
  stamp = StampOf(status);
  SetLastError(kErrorSuccess);
  return true;
}

bool StampFileWrittenNow(std::string_view path, FileStamp& stamp) {
  std::string systemPath;
  if (!detail::MapPath(path, systemPath)) return false;
  timespec times[2]{};
  times[0].tv_nsec = UTIME_OMIT;
  ::clock_gettime(CLOCK_REALTIME, &times[1]);
  BeforeMutation(Mutation::SetTime, systemPath);
  detail::FileStatus status;
  if (::utimensat(AT_FDCWD, systemPath.c_str(), times, 0) != 0 || !detail::QueryStatus(systemPath, status)) {
    SetLastError(StatusError(systemPath, errno));
    return false;
  }
  stamp = StampOf(status);
  SetLastError(kErrorSuccess);
  return true;
}

}  // namespace tw::platform

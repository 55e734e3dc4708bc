#include "platform/file_status.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <cerrno>

#include "platform/files.h"

namespace tw::platform::detail {

namespace {

// Cleared once the kernel turns statx() down; plain fstatat() then serves.
std::atomic<bool> g_statxWorks{true};

timespec ToTimespec(const struct statx_timestamp& t) {
  timespec out{};
  out.tv_sec = static_cast<time_t>(t.tv_sec);
  out.tv_nsec = static_cast<long>(t.tv_nsec);
  return out;
}

bool QueryWithStat(int dirFd, const char* path, int flags, FileStatus& status) {
  struct stat st {};
  if (::fstatat(dirFd, path, &st, flags) != 0) return false;
  status = StatusFromStat(st);
  return true;
}

bool QueryOnce(int dirFd, const char* path, int flags, FileStatus& status) {
  if (!g_statxWorks.load(std::memory_order_relaxed)) return QueryWithStat(dirFd, path, flags, status);
  struct statx stx {};
  if (::statx(dirFd, path, flags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &stx) != 0) {
    if (errno != ENOSYS) return false;
    g_statxWorks.store(false, std::memory_order_relaxed);
    return QueryWithStat(dirFd, path, flags, status);
  }
  status.mode = stx.stx_mode;
  status.size = stx.stx_size;
  status.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
  status.inode = stx.stx_ino;
  status.accessTime = ToTimespec(stx.stx_atime);
  status.writeTime = ToTimespec(stx.stx_mtime);
  status.hasBirthTime = (stx.stx_mask & STATX_BTIME) != 0;
  status.birthTime = status.hasBirthTime ? ToTimespec(stx.stx_btime) : timespec{};
  return true;
}

}  // namespace

bool FileStatus::IsDirectory() const { return S_ISDIR(mode); }
bool FileStatus::IsRegular() const { return S_ISREG(mode); }

bool QueryStatus(int dirFd, const char* path, FileStatus& status) {
  if (!QueryOnce(dirFd, path, AT_SYMLINK_NOFOLLOW, status)) return false;
  status.isLink = S_ISLNK(status.mode);
  if (!status.isLink) return true;
  // Described by its target; a dangling link stays a link.
  FileStatus target;
  if (QueryOnce(dirFd, path, 0, target)) {
    status = target;
    status.isLink = true;
  }
  return true;
}

uint32_t AttributesOf(const FileStatus& status, std::string_view name) {
  uint32_t attributes = 0;
  if (status.IsDirectory()) {
    attributes = kAttrDirectory;
  } else {
    attributes = kAttrArchive;
    if (status.IsRegular() && (status.mode & S_IWUSR) == 0) attributes |= kAttrReadonly;
  }
  if (!name.empty() && name.front() == '.' && name != "." && name != "..") attributes |= kAttrHidden;
  if (status.isLink) attributes |= kAttrReparsePoint;
  return attributes;
}

uint64_t WriteFileTime(const FileStatus& status) {
  return FileTimeFromUnix(status.writeTime.tv_sec, static_cast<uint32_t>(status.writeTime.tv_nsec));
}

uint64_t AccessFileTime(const FileStatus& status) {
  return FileTimeFromUnix(status.accessTime.tv_sec, static_cast<uint32_t>(status.accessTime.tv_nsec));
}

FileStatus StatusFromStat(const struct stat& st) {
  FileStatus status;
  status.mode = st.st_mode;
  status.size = static_cast<uint64_t>(st.st_size);
  status.device = st.st_dev;
  status.inode = st.st_ino;
  status.accessTime = st.st_atim;
  status.writeTime = st.st_mtim;
  return status;
}

}  // namespace tw::platform::detail

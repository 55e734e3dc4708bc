#include "platform/file_handle.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/mutation_hook.h"
#include "platform/name_cache.h"
#include "platform/path_mapping.h"
#include "platform/share_probe.h"
#include "platform/write_cut.h"

namespace tw::platform {
namespace {

// How often an open retries when the name was replaced between opening and
// locking (someone deleted or recreated the file in that moment).
constexpr int kReplacedRetries = 8;

struct SplitPath {
  std::string directory;  // "" when the path has no directory part
  std::string name;
};

SplitPath Split(const std::string& systemPath) {
  const size_t slash = systemPath.find_last_of('/');
  if (slash == std::string::npos) return {"", systemPath};
  return {slash == 0 ? "/" : systemPath.substr(0, slash), systemPath.substr(slash + 1)};
}

uint32_t OpenError(int err, const std::string& systemPath) {
  switch (err) {
    case ENOENT:  // file or directory missing, as the parent tells
      return detail::MissingEntryError(systemPath);
    case ENOTDIR:
      return kErrorPathNotFound;
    case EISDIR:
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case EEXIST:
      return kErrorFileExists;
    default:
      return ErrorFromErrno(err);
  }
}

int AccessFlags(Access access) {
  switch (access) {
    case Access::Read:
      return O_RDONLY;
    case Access::Write:
      return O_WRONLY;
    case Access::ReadWrite:
      break;
  }
  return O_RDWR;
}

// Takes the handle's sharing lock; false with error 32 when another handle
// holds a conflicting one.
bool LockForShare(int fd, Share share, Access access) {
  // Writing is refused while a read-sharing holder lives, as is a second
  // read-sharing holder's claim when it would write.
  if (access != Access::Read && detail::HasDenyWriteMarker(fd)) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  const int operation = (share == Share::None ? LOCK_EX : LOCK_SH) | LOCK_NB;
  int rc;
  do {
    rc = flock(fd, operation);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    // A file system without locks: nobody can hold one, so there is nothing
    // to respect (the delete probe reasons the same way).
    if (errno == ENOLCK || errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) return true;
    SetLastError(errno == EWOULDBLOCK ? kErrorSharingViolation : ErrorFromErrno(errno));
    return false;
  }
  if (share == Share::Read && !detail::SetDenyWriteMarker(fd, access != Access::Write) && errno == EAGAIN) {
    SetLastError(kErrorSharingViolation);
    return false;
  }
  return true;
}

std::string RandomSuffix() {
  static std::atomic<uint64_t> counter{0};
  uint64_t value = 0;
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
    value = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  value ^= ++counter * 0x9E3779B97F4A7C15ull;
  char text[17];
  snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// The private name a new file is made under before it gets its real name.
std::string TemporaryName(const SplitPath& target) {
  const std::string tail = "." + std::to_string(getpid()) + "." + RandomSuffix() + ".tmp";
  std::string stem = target.name;
  const size_t room = NAME_MAX - 1 - tail.size();
  if (stem.size() > room) stem.resize(room);
  const std::string name = "." + stem + tail;
  return target.directory.empty() ? name : (target.directory == "/" ? "/" + name : target.directory + "/" + name);
}

// Gives a locked private file its final name without replacing anything.
// Returns 0 or an errno value.
int LinkNoReplace(int fd, const std::string& from, const std::string& to) {
  if (link(from.c_str(), to.c_str()) == 0) return 0;
  const int err = errno;
  if (err == EEXIST) return EEXIST;
  if (err == EPERM || err == EOPNOTSUPP || err == ENOSYS || err == EXDEV) {
    // File systems without hard links: an atomic rename that refuses to
    // replace keeps the same guarantee.
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    return errno;
  }
  // Network file systems may report a failure for a link that was made.
  struct stat st {};
  if (fstat(fd, &st) == 0 && st.st_nlink == 2) return 0;
  return err;
}

// Writes all of `content` at the start of a private file; false with errno set.
bool WriteInitialContent(int fd, std::string_view content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = pwrite(fd, content.data() + done, content.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

int CreateNewLocked(const std::string& systemPath, Access access, Share share, std::string_view content = {}) {
  const SplitPath target = Split(systemPath);
  int fd = -1;
  std::string temporary;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = TemporaryName(target);
    fd = open(temporary.c_str(), AccessFlags(access) | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) {
      SetLastError(errno == ENOENT ? kErrorPathNotFound : OpenError(errno, temporary));
      return -1;
    }
  }
  if (fd < 0) {
    SetLastError(kErrorFileExists);
    return -1;
  }
  if (!LockForShare(fd, share, access)) {
    const uint32_t error = GetLastError();
    close(fd);
    unlink(temporary.c_str());
    SetLastError(error);
    return -1;
  }
  // Written before the file has its name: nobody ever sees it without.
  if (!content.empty() && !WriteInitialContent(fd, content)) {
    const uint32_t error = ErrorFromErrno(errno);
    close(fd);
    unlink(temporary.c_str());
    SetLastError(error);
    return -1;
  }
  const int err = LinkNoReplace(fd, temporary, systemPath);
  unlink(temporary.c_str());
  if (err != 0) {
    close(fd);
    SetLastError(OpenError(err, systemPath));
    return -1;
  }
  return fd;
}

bool SameFile(int fd, const std::string& systemPath) {
  struct stat byHandle {};
  struct stat byName {};
  if (fstat(fd, &byHandle) != 0 || stat(systemPath.c_str(), &byName) != 0) return false;
  return byHandle.st_dev == byName.st_dev && byHandle.st_ino == byName.st_ino;
}

int OpenExistingLocked(const std::string& systemPath, Access access, Share share, Disposition disposition) {
  const bool mayCreate = disposition == Disposition::CreateAlways || disposition == Disposition::OpenAlways;
  for (int attempt = 0; attempt < kReplacedRetries; ++attempt) {
    // O_TRUNC would cut the file before we know it is ours to cut.
    const int fd = open(systemPath.c_str(), AccessFlags(access) | O_CLOEXEC | (mayCreate ? O_CREAT : 0), 0666);
    if (fd < 0) {
      SetLastError(OpenError(errno, systemPath));
      return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      close(fd);
      SetLastError(kErrorAccessDenied);
      return -1;
    }
    if (!LockForShare(fd, share, access)) {
      const uint32_t error = GetLastError();
      close(fd);
      SetLastError(error);
      return -1;
    }
    // The name may have been deleted or replaced between open and flock;
    // then the lock guards nothing and we start again.
    if (SameFile(fd, systemPath)) return fd;
    close(fd);
  }
  SetLastError(kErrorSharingViolation);
  return -1;
}

int WriteAll(int fd, const void* buffer, size_t size) {
  const char* p = static_cast<const char*>(buffer);
  while (size > 0) {
    const ssize_t n = write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool FileHandle::Read(void* buffer, size_t size, size_t& got) {
  got = 0;
  if (fd_ < 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  char* p = static_cast<char*>(buffer);
  while (got < size) {
    const ssize_t n = read(fd_, p + got, size - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(ErrorFromErrno(errno));
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return true;
}

bool FileHandle::Write(const void* buffer, size_t size) {
  BeforeWrite(fd_, buffer, size);
  if (fd_ < 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  const size_t allowed = detail::AllowedWriteBytes(size);
  if (const int err = WriteAll(fd_, buffer, allowed); err != 0) {
    SetLastError(err == ENOSPC ? kErrorDiskFull : ErrorFromErrno(err));
    return false;
  }
  if (allowed < size) {
    SetLastError(detail::WriteCutReached());
    return false;
  }
  return true;
}

bool FileHandle::Seek(int64_t offset, SeekFrom from, int64_t* newPosition) {
  if (fd_ < 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  const int whence = from == SeekFrom::Begin ? SEEK_SET : (from == SeekFrom::Current ? SEEK_CUR : SEEK_END);
  const off_t position = lseek(fd_, static_cast<off_t>(offset), whence);
  if (position < 0) {
    SetLastError(errno == EINVAL ? kErrorInvalidParameter : ErrorFromErrno(errno));
    return false;
  }
  if (newPosition) *newPosition = static_cast<int64_t>(position);
  return true;
}

int64_t FileHandle::Size() const {
  struct stat st {};
  if (fd_ < 0) {
    SetLastError(kErrorInvalidHandle);
    return -1;
  }
  if (fstat(fd_, &st) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

bool FileHandle::Truncate(uint64_t size) {
  BeforeTruncate(fd_, size);
  if (fd_ < 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (!detail::AllowFileChange()) return false;
  if (ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    SetLastError(errno == EBADF || errno == EINVAL ? kErrorAccessDenied : ErrorFromErrno(errno));
    return false;
  }
  return true;
}

bool FileHandle::Flush() {
  if (fd_ < 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  // A read-only descriptor has nothing to flush; some file systems refuse it.
  if (fsync(fd_) != 0 && errno != EINVAL && errno != EBADF) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  return true;
}

bool FileHandle::LastWriteTime(uint64_t& fileTime) const {
  struct stat st {};
  if (fd_ < 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  if (fstat(fd_, &st) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  fileTime = FileTimeFromUnix(static_cast<int64_t>(st.st_mtim.tv_sec), static_cast<uint32_t>(st.st_mtim.tv_nsec));
  return true;
}

void FileHandle::Close() {
  if (fd_ >= 0) {
    // Closing the last descriptor of the open file releases its lock.
    close(fd_);
    fd_ = -1;
  }
}

FILE* FileHandle::ReleaseToStream(const char* mode) {
  if (fd_ < 0 || mode == nullptr) {
    SetLastError(fd_ < 0 ? kErrorInvalidHandle : kErrorInvalidParameter);
    return nullptr;
  }
  FILE* stream = fdopen(fd_, mode);
  if (stream == nullptr) {
    SetLastError(errno == EINVAL ? kErrorInvalidParameter : ErrorFromErrno(errno));
    return nullptr;
  }
  fd_ = -1;
  return stream;
}

FileHandle OpenFile(std::string_view path, Access access, Share share, Disposition disposition) {
  FileHandle handle;
  // Invalid names (123), overlong paths (206) and empty ones (3) fail before
  // anything is touched.
  std::string systemPath;
  if (!detail::MapPath(path, systemPath)) return handle;
  if (disposition == Disposition::TruncateExisting && access == Access::Read) {
    SetLastError(kErrorInvalidParameter);
    return handle;
  }

  if (disposition != Disposition::OpenExisting && !detail::AllowFileChange()) return handle;
  int fd;
  bool existed = false;
  if (disposition == Disposition::CreateNew) {
    fd = CreateNewLocked(systemPath, access, share);
  } else {
    struct stat before {};
    existed = stat(systemPath.c_str(), &before) == 0;
    fd = OpenExistingLocked(systemPath, access, share, disposition);
  }
  if (fd < 0) return handle;
  handle.fd_ = fd;
  // A new name: the case-insensitive lookups of its directory must see it.
  if (!existed) detail::ForgetDirectory(detail::ParentDirectory(systemPath));

  if (disposition == Disposition::CreateAlways || disposition == Disposition::TruncateExisting) {
    if (ftruncate(fd, 0) != 0) {
      const uint32_t error = errno == EBADF || errno == EINVAL ? kErrorAccessDenied : ErrorFromErrno(errno);
      handle.Close();
      SetLastError(error);
      return handle;
    }
  }
  // As CreateFile does: success says whether an existing file was opened.
  const bool reportsExisting = disposition == Disposition::CreateAlways || disposition == Disposition::OpenAlways;
  SetLastError(reportsExisting && existed ? kErrorAlreadyExists : kErrorSuccess);
  return handle;
}

FileHandle CreateNewFile(std::string_view path, Access access, Share share, std::string_view content) {
  FileHandle handle;
  std::string systemPath;
  if (!detail::MapPath(path, systemPath)) return handle;
  if (!detail::AllowFileChange()) return handle;
  const int fd = CreateNewLocked(systemPath, access, share, content);
  if (fd < 0) return handle;
  handle.fd_ = fd;
  detail::ForgetDirectory(detail::ParentDirectory(systemPath));
  SetLastError(kErrorSuccess);
  return handle;
}

namespace {

struct StreamMode {
  Access access;
  Disposition disposition;
  bool append;
  const char* streamMode;
};

bool ParseStreamMode(const char* mode, StreamMode& parsed) {
  if (mode == nullptr || *mode == '\0') return false;
  bool plus = false;
  for (const char* p = mode + 1; *p; ++p) {
    if (*p == '+') {
      if (plus) return false;
      plus = true;
    } else if (*p != 'b' && *p != 't') {
      return false;
    }
  }
  switch (mode[0]) {
    case 'r':
      parsed = {plus ? Access::ReadWrite : Access::Read, Disposition::OpenExisting, false, plus ? "r+" : "r"};
      return true;
    case 'w':
      parsed = {plus ? Access::ReadWrite : Access::Write, Disposition::CreateAlways, false, plus ? "w+" : "w"};
      return true;
    case 'a':
      parsed = {plus ? Access::ReadWrite : Access::Write, Disposition::OpenAlways, true, plus ? "a+" : "a"};
      return true;
    default:
      return false;
  }
}

}  // namespace

FILE* OpenStream(std::string_view path, const char* mode, bool exclusive) {
  StreamMode parsed{};
  if (!ParseStreamMode(mode, parsed)) {
    SetLastError(kErrorInvalidParameter);
    return nullptr;
  }
  FileHandle handle = OpenFile(path, parsed.access, exclusive ? Share::None : Share::All, parsed.disposition);
  if (!handle.IsOpen()) return nullptr;
  if (parsed.append && !handle.Seek(0, SeekFrom::End)) return nullptr;
  return handle.ReleaseToStream(parsed.streamMode);
}

}  // namespace tw::platform

#include "platform/file_copy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/mutation_hook.h"
#include "platform/name_cache.h"
#include "platform/path_mapping.h"

namespace tw::platform {

namespace detail {

namespace {

constexpr size_t kChunk = 1 << 20;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  // The result of close(): where the file system reports late write errors.
  int Close() {
    int r = 0;
    if (fd_ >= 0) r = ::close(fd_);
    fd_ = -1;
    return r;
  }

 private:
  int fd_;
};

bool CopyByReading(int in, int out) {
  std::vector<char> buffer(kChunk);
  for (;;) {
    ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    size_t done = 0;
    while (done < static_cast<size_t>(got)) {
      ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got) - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        if (put == 0) errno = ENOSPC;
        return false;
      }
      done += static_cast<size_t>(put);
    }
  }
}

// copy_file_range() lets the file system share or copy server-side; where it
// cannot, fall back to reading and writing from where it stopped.
bool CopyBytes(int in, int out) {
  for (;;) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
    if (n == 0) return true;
    if (n > 0) continue;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF ||
        errno == EPERM)
      return CopyByReading(in, out);
    return false;
  }
}

uint32_t OpenError(const std::string& path, int err) {
  if (err == ENOENT) return MissingEntryError(path);
  return ErrorFromErrno(err);
}

}  // namespace

uint32_t CopySystemFile(const std::string& from, const std::string& to, bool failIfExists) {
  Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (in.get() < 0) return OpenError(from, errno);
  struct stat source {};
  if (::fstat(in.get(), &source) != 0) return ErrorFromErrno(errno);
  if (S_ISDIR(source.st_mode)) return kErrorAccessDenied;
  if (::flock(in.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) return kErrorSharingViolation;

  // Create it if it is not there; only then is it ours to remove on failure.
  // A copy is the store's file: made with the process's creation mode (its
  // umask decides, as for every file the store makes), read-only only when
  // the source is, as Windows copies the read-only attribute.
  const mode_t mode = (source.st_mode & 0222) != 0 ? 0666 : 0444;
  bool created = true;
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode));
  if (out.get() < 0 && errno == EEXIST) {
    if (failIfExists) return kErrorFileExists;
    created = false;
    out.Reset(::open(to.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  }
  if (out.get() < 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) return kErrorPathNotFound;
    return ErrorFromErrno(err);
  }
  auto fail = [&](uint32_t error) {
    out.Close();
    if (created) {
      ::unlink(to.c_str());
      ForgetDirectory(ParentDirectory(to));
    }
    return error;
  };
  struct stat target {};
  if (::fstat(out.get(), &target) != 0) return fail(ErrorFromErrno(errno));
  if (target.st_dev == source.st_dev && target.st_ino == source.st_ino) {
    created = false;
    return fail(kErrorSharingViolation);
  }
  if (!S_ISREG(target.st_mode)) return fail(kErrorAccessDenied);
  if (::flock(out.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return fail(kErrorSharingViolation);
  if (!created && ::ftruncate(out.get(), 0) != 0) return fail(ErrorFromErrno(errno));
  BeforeMutation(Mutation::Copy, to);
  if (!CopyBytes(in.get(), out.get())) return fail(ErrorFromErrno(errno));
  timespec times[2]{};
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = source.st_mtim;
  if (::futimens(out.get(), times) != 0) return fail(ErrorFromErrno(errno));
  if (out.Close() != 0) {
    const uint32_t error = ErrorFromErrno(errno);
    return fail(error);
  }
  if (created) ForgetDirectory(ParentDirectory(to));
  return kErrorSuccess;
}

}  // namespace detail

bool CopyFile(std::string_view from, std::string_view to, bool failIfExists) {
  std::string source;
  std::string target;
  if (!detail::MapPath(from, source) || !detail::MapPath(to, target)) return false;
  const uint32_t error = detail::CopySystemFile(source, target, failIfExists);
  SetLastError(error);
  return error == kErrorSuccess;
}

}  // namespace tw::platform

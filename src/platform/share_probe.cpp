#include "platform/share_probe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tw::platform::detail {

namespace {

// The name may be replaced between open() and the check; try again a few
// times before calling the file busy.
constexpr int kAttempts = 4;

// One byte far beyond any data a store file holds.
constexpr off_t kDenyWriteByte = static_cast<off_t>(1) << 62;

struct flock MarkerRange(short type) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = kDenyWriteByte;
  range.l_len = 1;
  return range;
}

}  // namespace

bool SetDenyWriteMarker(int fd, bool readable) {
  // A read lock needs read access, a write lock write access; either one
  // shows up to the test below.
  struct flock range = MarkerRange(readable ? F_RDLCK : F_WRLCK);
  return ::fcntl(fd, F_OFD_SETLK, &range) == 0;
}

bool HasDenyWriteMarker(int fd) {
  struct flock range = MarkerRange(F_WRLCK);
  if (::fcntl(fd, F_OFD_GETLK, &range) != 0) return false;  // no lock support: nobody holds one
  return range.l_type != F_UNLCK;
}

ShareProbe::~ShareProbe() { Release(); }

void ShareProbe::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

ProbeOutcome ShareProbe::Acquire(const std::string& path) {
  Release();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
      switch (errno) {
        case ENOENT:
        case ENOTDIR:
          return ProbeOutcome::Missing;
        case EWOULDBLOCK:  // a lease is held
          return ProbeOutcome::Busy;
        case ELOOP:   // a symbolic link: the link itself goes, nothing to lock
        case EACCES:  // unreadable: nobody we could see holds it
        case EPERM:
        case ENXIO:
        case EOPNOTSUPP: {
          struct stat st {};
          if (::lstat(path.c_str(), &st) != 0)
            return (errno == ENOENT || errno == ENOTDIR) ? ProbeOutcome::Missing : ProbeOutcome::Failed;
          status_ = StatusFromStat(st);
          return ProbeOutcome::Ready;
        }
        default:
          return ProbeOutcome::Failed;
      }
    }
    fd_ = fd;
    if ((::flock(fd_, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) || HasDenyWriteMarker(fd_)) {
      Release();
      return ProbeOutcome::Busy;
    }
    // Other flock() failures (no lock support on the file system) leave
    // nothing to check against: holders could not lock either.
    struct stat held {};
    struct stat named {};
    if (::fstat(fd_, &held) != 0) {
      const int err = errno;
      Release();
      errno = err;
      return ProbeOutcome::Failed;
    }
    if (::lstat(path.c_str(), &named) != 0) {
      const int err = errno;
      Release();
      errno = err;
      return (err == ENOENT || err == ENOTDIR) ? ProbeOutcome::Missing : ProbeOutcome::Failed;
    }
    if (held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      status_ = StatusFromStat(held);
      return ProbeOutcome::Ready;
    }
    Release();
  }
  errno = EBUSY;
  return ProbeOutcome::Busy;
}

}  // namespace tw::platform::detail

#include "platform/rename_noreplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tw::platform::detail {

namespace {

bool Unsupported(int err) { return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP; }

// The last resort: a window remains between the check and the rename.
int CheckedRename(const char* from, const char* to) {
  struct stat st {};
  if (::lstat(to, &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from, to);
}

}  // namespace

int RenameNoReplace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (!Unsupported(errno)) return -1;
  // EINVAL also means "directory moved below itself": tell the cases apart
  // by whether the source is a directory.
  struct stat st {};
  if (::lstat(from, &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) return CheckedRename(from, to);
  if (::link(from, to) == 0) {
    if (::unlink(from) == 0) return 0;
    const int err = errno;
    ::unlink(to);
    errno = err;
    return -1;
  }
  if (errno == EEXIST) return -1;
  if (errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK) return CheckedRename(from, to);
  return -1;
}

}  // namespace tw::platform::detail

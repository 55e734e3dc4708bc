// What the file calls need to know about one directory entry, read with
// statx() (a second call follows a symbolic link), and the Windows
// attributes and times derived from it. Internal to src/platform/.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace tw::platform::detail {

struct FileStatus {
  uint32_t mode = 0;
  uint64_t size = 0;
  uint64_t device = 0;
  uint64_t inode = 0;
  timespec accessTime{};
  timespec writeTime{};
  bool hasBirthTime = false;
  timespec birthTime{};
  // The entry is a symbolic link; the rest describes its target, or the
  // link itself when the target is missing.
  bool isLink = false;

  bool IsDirectory() const;
  bool IsRegular() const;
};

// The status a stat() result gives (no birth time).
FileStatus StatusFromStat(const struct stat& st);

// The status of `path` (relative to the directory `dirFd` when it is not
// AT_FDCWD). False with errno set on failure.
bool QueryStatus(int dirFd, const char* path, FileStatus& status);
inline bool QueryStatus(const std::string& path, FileStatus& status) {
  return QueryStatus(AT_FDCWD, path.c_str(), status);
}

// Directory 0x10; anything else archive 0x20, read-only 0x1 for a plain file
// its owner may not write; hidden 0x2 for a name starting with "."; reparse
// point 0x400 for a symbolic link.
uint32_t AttributesOf(const FileStatus& status, std::string_view name);

uint64_t WriteFileTime(const FileStatus& status);
uint64_t AccessFileTime(const FileStatus& status);

}  // namespace tw::platform::detail

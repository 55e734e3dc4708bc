// The light read-only open's steps, shared by opens by path (file_head.cpp)
// and by name in an open directory (folder_files.cpp). Internal to
// src/platform/.
#pragma once
#include <cstdint>
#include <string_view>

namespace tw::platform {
struct FileInfo;
}

namespace tw::platform::detail {

// open() or openat() for reading, never waiting for a pipe's writer; with
// `noFollow` a symbolic link is refused. -1 with errno set.
int OpenReadOnly(int dirFd, const char* path, bool noFollow);

// The Windows error for an open that failed with `err`.
uint32_t ReadOpenError(int err, std::string_view systemPath);

// Checks that `fd` is a plain file and takes the shared lock; fills `info`
// (its name part from `name`) when given. 0, or the error to report: the
// caller then closes `fd`.
uint32_t HoldForReading(int fd, std::string_view name, FileInfo* info);

}  // namespace tw::platform::detail

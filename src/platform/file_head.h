// Light read-only opens for scans that read the start of many files (a mail
// folder's message headers). OpenFile spends about seven system calls on an
// open (name lookups, existence checks, the replaced-name check); these
// spend open, flock, fstat (then read, close), and keep the sharing rule: a
// file that another handle holds exclusively fails with error 32.
//
// The path is tried as written first; only a name that is not there as
// written goes through the case-insensitive lookup. Nothing is created, no
// deny-write marker is consulted (readers are never refused by it), and a
// name replaced between open and lock is read as the file that was opened.
// Only regular files open: a pipe or device would make a scan wait.
#pragma once
#include <cstddef>
#include <string_view>

#include "platform/file_handle.h"
#include "platform/files.h"

namespace tw::platform {

// An existing file opened for reading under a shared lock. `info`, when
// given, gets the size, times and attributes of the open file (creation time:
// the last-write time). A closed handle on failure with the last error set
// (2, 3, 5, 32, 123, 206).
FileHandle OpenForReading(std::string_view path, FileInfo* info = nullptr);

// Reads up to `capacity` bytes from the start of the file into `buffer`;
// `got` is less than `capacity` only when the file ended (at the size it had
// when opened). False with the last error set.
bool ReadFileHead(std::string_view path, char* buffer, size_t capacity, size_t& got, FileInfo* info = nullptr);

}  // namespace tw::platform

// Creation times. The file system's birth time where it keeps one; for a
// directory on a file system without it, a value kept beside the directory
// (the extended attribute "user.tarnwick.created", else the hidden file
// ".twcreated" inside it) written the first time it is asked for, so the
// time stays put however the directory's contents change. Never the change
// time. Internal to src/platform/.
#pragma once
#include <cstdint>
#include <string>

#include "platform/file_status.h"
#include "platform/files.h"

namespace tw::platform::detail {

// `path` names the entry `status` was read from.
uint64_t CreationTimeOf(const FileStatus& status, const std::string& path);

// What GetFileInfo reports of the entry `name` at `path` (the path is asked
// only where the status lacks the creation time).
FileInfo InfoFromStatus(const FileStatus& status, std::string_view name, const std::string& path);

// For tests: pretend the file system has no birth time, or no extended
// attributes, to reach the fallbacks. Both true is the normal state.
void SetCreationTimeSources(bool useBirthTime, bool useExtendedAttribute);

}  // namespace tw::platform::detail

// Deleting what killed processes left in a directory.
#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "platform/file_delete.h"
#include "platform/file_status.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/path_mapping.h"

namespace tw::platform {

namespace {

// The platform's own private files of an instant: a create-new open's
// temporary, and the one the creation-time file is written through.
bool IsOwnTemporary(std::string_view name) {
  return detail::IsBookkeepingName(name) && name != detail::kCreationTimeFile;
}

}  // namespace

size_t DeleteStaleFiles(std::string_view directory, uint64_t writtenBefore,
                        const std::function<bool(std::string_view)>& isLeftover) {
  std::string systemDirectory;
  if (!detail::MapPath(directory, systemDirectory)) return 0;
  DIR* dir = ::opendir(systemDirectory.c_str());
  if (dir == nullptr) {
    SetLastError(ErrorFromErrno(errno));
    return 0;
  }
  // Names first, deletes after: the listing is not disturbed while it runs.
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == ".." || !(IsOwnTemporary(name) || (isLeftover && isLeftover(name)))) continue;
    // Never through a link: only the directory's own plain files.
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (detail::WriteFileTime(detail::StatusFromStat(st)) < writtenBefore) stale.emplace_back(name);
  }
  ::closedir(dir);
  size_t deleted = 0;
  for (const std::string& name : stale)
    if (detail::DeleteSystemFile(detail::JoinPath(systemDirectory, name)) == kErrorSuccess) ++deleted;
  SetLastError(kErrorSuccess);
  return deleted;
}

}  // namespace tw::platform

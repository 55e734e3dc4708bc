#include "platform/store_owner.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace tw::platform {

uint32_t UmaskForStoreMode(uint32_t directoryMode) { return ~directoryMode & 0777u; }

StoreOwnerOutcome TakeStoreOwner(const std::string& mailRoot, std::string& why) {
  why.clear();
  if (::geteuid() != 0) return StoreOwnerOutcome::kNotRoot;
  struct stat root {};
  const std::string path = ToSystemPath(mailRoot);
  if (path.empty() || ::stat(path.c_str(), &root) != 0 || !S_ISDIR(root.st_mode))
    return StoreOwnerOutcome::kNoRoot;
  if (root.st_uid == 0) return StoreOwnerOutcome::kRootOwned;
  // The groups go first: once the user is no longer root, it may not change
  // them.
  const gid_t group = root.st_gid;
  const char* step = nullptr;
  if (::setgroups(1, &group) != 0)
    step = "setgroups";
  else if (::setegid(group) != 0)
    step = "setegid";
  else if (::seteuid(root.st_uid) != 0)
    step = "seteuid";
  if (step != nullptr) {
    why = std::string(step) + ": " + std::strerror(errno);
    return StoreOwnerOutcome::kFailed;
  }
  ::umask(static_cast<mode_t>(UmaskForStoreMode(root.st_mode)));
  return StoreOwnerOutcome::kTaken;
}

}  // namespace tw::platform

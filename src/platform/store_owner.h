// Files a tool run as root creates in the store must belong to the store's
// owner and carry its permissions, or the services running as that owner
// could not read or replace them later.
#pragma once
#include <cstdint>
#include <string>

namespace tw::platform {

// The umask that gives new files the permissions the mail root directory
// grants: every permission bit the directory lacks is masked (0770 gives
// 007, so files are group-writable; 0755 gives 022). Only the 0777 bits
// count.
uint32_t UmaskForStoreMode(uint32_t directoryMode);

enum class StoreOwnerOutcome {
  kNotRoot,    // not running as root: nothing changed
  kRootOwned,  // the mail root belongs to root: nothing changed
  kNoRoot,     // the mail root cannot be read (missing?): nothing changed
  kTaken,      // now running as the mail root's owner and group
  kFailed,     // root, but the switch failed part way; the reason is in `why`
};

// When the process runs as root (effective user 0), takes the owner and
// group of the mail root directory (a store path) as the effective user and
// group for the rest of the process: supplementary groups dropped, then the
// group, then the user, and the umask set from the directory's mode. A
// no-op when not root, or when root owns the mail root. The real user stays
// root.
StoreOwnerOutcome TakeStoreOwner(const std::string& mailRoot, std::string& why);

}  // namespace tw::platform

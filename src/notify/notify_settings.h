// The registry values of change notification, each read once per process.
#pragma once
#include <cstdint>

namespace tw {

// "Activity Lock Type": 1 opens the activity files in the file opener's
// secure mode; anything else shares them. Default 0.
uint32_t ActivityLockType();
// "Mailbox Search Indexing Enabled": non-zero feeds add, update and delete
// notifications to the search-index journal. Default 0.
uint32_t MailboxSearchIndexingEnabled();

// Forgets both, so the next use reads the registry again (tests).
void ResetNotifySettingsCache();

}  // namespace tw

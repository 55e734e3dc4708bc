// The registry values of change notification.
#pragma once
#include <cstdint>

#include "platform/notify_socket.h"

namespace tw {

// "Activity Lock Type": 1 opens the activity files in the file opener's
// secure mode; anything else shares them. Default 0.
uint32_t ActivityLockType();
// "Mailbox Search Indexing Enabled": non-zero feeds add, update and delete
// notifications to the search-index journal. Default 0.
uint32_t MailboxSearchIndexingEnabled();

// "Notify Port" under the Providers key: the TCP port on which another
// server's relay takes notifications for its listeners. Default 4380; 0 or
// more than 65535 give the default. Read on every call.
uint16_t NotifyPort();

// "Notify Timeout" under the Providers key: how many milliseconds a notifier
// waits for a listener's reply (default 500; 0 or more than 600000 give the
// default). Connecting and sending get half of it each, and a relay's and a
// listener's own waits are derived from it. Read on every call; tests raise
// it so that a loaded machine cannot turn a live listener into a dead one.
uint32_t NotifyTimeout();
platform::DeliveryTimeouts NotifyDeliveryTimeouts();

// "Activity Lock Type" and "Mailbox Search Indexing Enabled" are read once
// per process. Forgets both, so the next use reads the registry again (tests).
void ResetNotifySettingsCache();

}  // namespace tw

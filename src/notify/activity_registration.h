// How a listener enters itself into a mailbox's activity file and leaves it
// again; both under the mailbox's "_activity.blk", like the notification
// passes that read and prune the file.
#pragma once
#include <string>

#include "notify/notification_entry.h"

namespace tw {

// Appends the entry's line. False when the block file or the activity file
// could not be had.
bool AddActivityEntry(const std::string& mailboxDirectory, const NotificationEntry& entry);

// Removes every line that reads as the entry's line, leaving the others as
// they are; deletes the file when no line is left. True also when the entry
// was not there (a pass may have pruned it).
bool RemoveActivityEntry(const std::string& mailboxDirectory, const NotificationEntry& entry);

}  // namespace tw

// Change notification: after a folder index of a mailbox changes, every
// listener in the mailbox's activity file hears of it through the
// notification library, and listeners that cannot be reached are dropped
// from the file. "_activity.blk" serialises the whole pass per mailbox and
// is held through every NotifyRemote call.
#pragma once
#include <cstdint>
#include <string>

#include "index/locking/activity_block.h"

namespace tw {

// "<postoffice root>\MAILROOT\<mailbox>"; empty when either name is refused.
std::string MailboxDirectory(const std::string& postoffice, const std::string& mailbox);

// One notification pass with a block file of its own, released afterwards.
// `data` is the notification text ("COMMIT"), `length` its buffer's size
// (negative: the text's length plus one; 0: nothing happens). Failures are
// reported, never returned; an exception is reported and raised again.
void NotifyClients(const std::string& mailboxDirectory, const std::string& folder, const char* data,
                   int32_t length);

// The pass itself. Takes `lock` on the mailbox's block file unless it is
// held already, and leaves releasing it to the caller. The protocol of
// `serviceIdentity` (the text before its first "-") names the notifier: its
// own kind of listener on this server is skipped.
void NotifyClients_Ex(BlockFileLock& lock, const std::string& mailboxDirectory, const std::string& serviceIdentity,
                      const std::string& folder, const char* data, int32_t length);

}  // namespace tw

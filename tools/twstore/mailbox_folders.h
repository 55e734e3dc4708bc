// A mailbox's folder paths, depth first, as the folder lists give them.
#pragma once
#include <string>
#include <vector>

namespace tw::cli {

// "\Inbox", "\Inbox\Work", "\Sent Items", ...; empty when the names are
// unsafe or the mailbox has no folders. Walks at most 64 levels deep.
std::vector<std::string> MailboxFolderPaths(const std::string& postoffice, const std::string& mailbox);

}  // namespace tw::cli
